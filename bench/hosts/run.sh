#!/usr/bin/env bash
# Runs the hosts benchmarks from a built tree (BUILD_DIR, default build/) and prints median, anchor and ratio of
# each figure. Arguments: the folder the hosts files are written in (default: a fresh folder under $TMPDIR or /tmp,
# removed afterwards) and the number of repetitions (default 21).
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}
cmake --build "$build" --target hosts_file_bench hosts_direct_run_bench >&2
if [ $# -ge 1 ]; then
    folder=$1
else
    folder=$(mktemp -d)
    trap 'rm -rf "$folder"' EXIT
fi
"$build/bench/hosts/hosts_file_bench" "$folder" "${2:-21}"
"$build/bench/hosts/hosts_direct_run_bench"
