#!/usr/bin/env bash
# The download benchmark, from a built tree (BUILD_DIR, default build/). A loopback HTTP server streams a file from a
# temporary folder; the program downloads it through the download window's worker path, and curl -o downloads the
# same file in the same run as the anchor. Figures: the median over ROUNDS (default 5) alternating runs of
#   1. one 1 GiB file: throughput against curl's (target: ratio >= 0.9), peak resident memory (target: < 64 MiB);
#   2. ten parallel 100 MiB files: all complete intact, peak resident memory (target: < 64 MiB), and throughput
#      against curl --parallel fetching the same ten.
# Exits non-zero when a target is missed. Every file is made in a fresh temporary folder, removed at the end: under
# BENCH_DIR when given, else in /dev/shm when it is there (so that the figures are the programs' and not the disk's),
# else under $TMPDIR or /tmp. CPU seconds (user + system) are shown beside the times: on a busy machine they vary
# less than the wall-clock times do.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=${BUILD_DIR:-build}
rounds=${ROUNDS:-5}
cmake --build "$build" --target download_bench download_bench_server >&2
bench=$build/bench/download/download_bench
server=$build/bench/download/download_bench_server

if [ -n "${BENCH_DIR:-}" ]; then
    folder=$(mktemp -d -p "$BENCH_DIR")
elif [ -d /dev/shm ] && [ -w /dev/shm ]; then
    folder=$(mktemp -d -p /dev/shm)
else
    folder=$(mktemp -d)
fi
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true; fi
    rm -rf "$folder"
}
trap cleanup EXIT

start_server() { # FILE: serves it on a free loopback port, sets $port
    if [ -n "$server_pid" ]; then kill "$server_pid"; wait "$server_pid" 2>/dev/null || true; fi
    coproc SERVER { exec "$server" "$1"; }
    server_pid=$SERVER_PID
    read -r port <&"${SERVER[0]}"
}

# run_measured LOG COMMAND...: runs under /usr/bin/time -v, prints the wall seconds; the report goes to LOG.
run_measured() {
    local log=$1
    shift
    local start end
    start=$(date +%s%N)
    /usr/bin/time -v -o "$log" "$@"
    end=$(date +%s%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.4f\n", (e - s) / 1e9 }'
}
peak_kib() { awk -F': ' '/Maximum resident set size/ { print $2 }' "$1"; }
cpu_seconds() { awk -F': ' '/(User|System) time \(seconds\)/ { t += $2 } END { printf "%.2f\n", t }' "$1"; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
clear_outputs() { rm -rf "$folder/out" && mkdir "$folder/out" && sync; }

verdict() { # CONDITION-HOLDS(0/1) TEXT
    if [ "$1" = 1 ]; then echo "  met:    $2"; else echo "  MISSED: $2"; missed=1; fi
}
missed=0

# Downloads with curl and with ours in turn, every round, then checks what ours wrote. Arguments: the check, curl's
# arguments, "--", the links for ours. Sets ours_s and curl_s (median seconds), cpu and anchor_cpu (median CPU
# seconds) and peak (our largest resident memory, KiB).
measure() {
    local check=$1
    shift
    local curl_args=()
    while [ "$1" != "--" ]; do
        curl_args+=("$1")
        shift
    done
    shift
    local ours=() curls=() peaks=() our_cpu=() curl_cpu=() round
    for ((round = 0; round < rounds; round++)); do
        clear_outputs
        curls+=("$(run_measured "$folder/time.log" curl "${curl_args[@]}")")
        curl_cpu+=("$(cpu_seconds "$folder/time.log")")
        clear_outputs
        ours+=("$(run_measured "$folder/time.log" "$bench" "$folder/out" "$@")")
        peaks+=("$(peak_kib "$folder/time.log")")
        our_cpu+=("$(cpu_seconds "$folder/time.log")")
        "$check"
    done
    ours_s=$(printf '%s\n' "${ours[@]}" | median)
    curl_s=$(printf '%s\n' "${curls[@]}" | median)
    peak=$(printf '%s\n' "${peaks[@]}" | sort -n | tail -1)
    cpu=$(printf '%s\n' "${our_cpu[@]}" | median)
    anchor_cpu=$(printf '%s\n' "${curl_cpu[@]}" | median)
}

echo "Preparing 1 GiB and 100 MiB files in $folder ..." >&2
head -c 1G /dev/urandom >"$folder/big.bin"
head -c 100M "$folder/big.bin" >"$folder/part.bin"

# 1. One 1 GiB file.
start_server "$folder/big.bin"
url="http://127.0.0.1:$port/download/big.bin"
check_big() {
    cmp -s "$folder/big.bin" "$folder/out/big.bin" || { echo "the downloaded 1 GiB file differs" >&2; exit 1; }
}
measure check_big -s -f -o "$folder/out/big.bin" "$url" -- "$url"
ratio=$(awk -v o="$ours_s" -v c="$curl_s" 'BEGIN { printf "%.3f", c / o }')
echo "1 GiB download, median of $rounds:"
awk -v o="$ours_s" -v c="$curl_s" 'BEGIN { printf "  corvana %.3f s (%.0f MiB/s), curl -o %.3f s (%.0f MiB/s)\n", o, 1024 / o, c, 1024 / c }'
echo "  CPU seconds: corvana $cpu, curl $anchor_cpu"
echo "  throughput ratio corvana / curl: $ratio"
echo "  peak resident memory: $((peak / 1024)) MiB"
verdict "$(awk -v r="$ratio" 'BEGIN { print (r >= 0.9) }')" "throughput ratio >= 0.9"
verdict "$(( peak < 64 * 1024 ))" "peak memory < 64 MiB"
awk -v o="$ours_s" -v c="$curl_s" -v r="$ratio" 'BEGIN { printf "| 1 GiB download, throughput | %.0f MiB/s | curl -o %.0f MiB/s | %s | >= 0.9 | %s |\n", 1024 / o, 1024 / c, r, (r >= 0.9 ? "ok" : "MISSED") }'
echo "| 1 GiB download, peak memory | $((peak / 1024)) MiB | | | < 64 MiB | $([ "$peak" -lt $((64 * 1024)) ] && echo ok || echo MISSED) |"

# 2. Ten parallel 100 MiB files.
rm -f "$folder/big.bin"
start_server "$folder/part.bin"
links=() curl_args=()
for i in $(seq 1 10); do
    links+=("http://127.0.0.1:$port/download/part-$i.bin")
    curl_args+=(-o "$folder/out/part-$i.bin" "http://127.0.0.1:$port/download/part-$i.bin")
done
check_parts() {
    for i in $(seq 1 10); do
        cmp -s "$folder/part.bin" "$folder/out/part-$i.bin" || { echo "download $i of 10 differs" >&2; exit 1; }
    done
}
measure check_parts -s --no-progress-meter -f -Z --parallel-max 10 "${curl_args[@]}" -- "${links[@]}"
parallel_ratio=$(awk -v o="$ours_s" -v c="$curl_s" 'BEGIN { printf "%.3f", c / o }')
echo "10 parallel 100 MiB downloads, median of $rounds:"
awk -v o="$ours_s" -v c="$curl_s" 'BEGIN { printf "  corvana %.3f s (%.0f MiB/s), curl --parallel %.3f s (%.0f MiB/s)\n", o, 1000 / o, c, 1000 / c }'
echo "  all ten complete and intact in every round"
echo "  CPU seconds: corvana $cpu, curl $anchor_cpu"
echo "  throughput ratio corvana / curl: $parallel_ratio"
echo "  peak resident memory: $((peak / 1024)) MiB"
verdict "$(( peak < 64 * 1024 ))" "peak memory < 64 MiB"
awk -v o="$ours_s" -v c="$curl_s" -v r="$parallel_ratio" 'BEGIN { printf "| 10 parallel 100 MiB, throughput | %.0f MiB/s | curl --parallel %.0f MiB/s | %s | | |\n", 1000 / o, 1000 / c, r }'
echo "| 10 parallel 100 MiB, peak memory | $((peak / 1024)) MiB | | | < 64 MiB | $([ "$peak" -lt $((64 * 1024)) ] && echo ok || echo MISSED) |"

echo "ratios: single $ratio, parallel $parallel_ratio"
exit "$missed"
