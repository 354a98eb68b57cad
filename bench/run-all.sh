#!/usr/bin/env bash
# Runs every benchmark against a built tree (BUILD_DIR, default build/) and prints one table: each figure, its
# anchor measured in the same run, the ratio and the target. The figures are only as quiet as the machine is: run
# it when nothing else is building.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build}
cmake --build "$build" >&2 || exit 1
out=$(mktemp)
trap 'rm -f "$out"' EXIT

section() {
    echo "== $1" >&2
    shift
    "$@" 2>&2 | tee -a "$out" >&2
}

section "hosts file: clear and install, 100,000 and 1,000,000 lines; source 5 run" bash bench/hosts/run.sh
section "metadata parse and sampling" "$build/bench/hosts/hosts_metadata_sampling_bench"
section "whole process: headless -dsp -esp against sed" bash bench/app/clear_process.sh "$build/corvana"
section "silent loop: system calls while waiting" bash bench/app/silent_wait.sh "$build/corvana" 10
regex_rows() {
    local json
    json=$(mktemp)
    "$build/bench/util/util_regex_bench" --benchmark_format=console --benchmark_out="$json" \
        --benchmark_out_format=json || return 1
    python3 - "$json" <<'PY'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    ms = b["real_time"] / 1e6 if b["time_unit"] == "ns" else b["real_time"] / 1e3 if b["time_unit"] == "us" else b["real_time"]
    name = b["name"].replace("|", "\\|")
    print(f"| pattern {name}, 1 MB | {ms:.3f} ms | | | < 10 ms | {'ok' if ms < 10 else 'MISSED'} |")
PY
    rm -f "$json"
}
section "share-page patterns over a 1 MB page" regex_rows
section "downloads: 1 GiB against curl -o; ten parallel 100 MiB" bash bench/download/run.sh

echo
echo "| figure | measured | anchor (same run) | ratio | target | verdict |"
echo "|---|---|---|---|---|---|"
grep -E '^\| ' "$out"
