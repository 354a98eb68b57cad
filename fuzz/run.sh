#!/usr/bin/env bash
# Builds the fuzz targets in their clang tree when needed and runs each for the given time on a copy of its seed
# corpus (the committed corpus never grows from these runs), printing per target the runs, seconds, new coverage and
# whether it found anything. Non-zero when any target found a crash, a leak or undefined behaviour.
#
#   fuzz/run.sh [seconds-per-target] [target...]   (default 60 seconds, every target)
#   fuzz/run.sh --build-only
#
# CORVANA_FUZZ_BUILD names the clang tree (default build-fuzz beside this folder); findings are kept in its
# findings/ folder. Extra libFuzzer flags may be given in CORVANA_FUZZ_FLAGS.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(dirname "$here")"
build="${CORVANA_FUZZ_BUILD:-$root/build-fuzz}"

build_targets() {
    mkdir -p "$build"
    # Tests of the main build may start several runs at once; one builds, the others wait for it.
    (
        flock 9
        if [ ! -f "$build/build.ninja" ]; then
            cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
                -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
                -DCORVANA_BUILD_FUZZ=ON -DCORVANA_BUILD_TESTS=OFF -DCORVANA_BUILD_BENCH=OFF >&2
        fi
        cmake --build "$build" --target corvana_fuzz -j2 >&2
    ) 9>"$build/.build-lock"
}

all_targets() {
    local source
    for source in "$here"/*_fuzz.cpp; do
        basename "$source" .cpp
    done
}

if [ "${1:-}" = "--build-only" ]; then
    build_targets
    exit 0
fi

seconds="${1:-60}"
shift || true
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
    echo "usage: fuzz/run.sh [seconds-per-target] [target...] | --build-only" >&2
    exit 2
fi
targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    mapfile -t targets < <(all_targets)
fi
for target in "${targets[@]}"; do
    if [ ! -f "$here/$target.cpp" ]; then
        echo "no fuzz target $target (known: $(all_targets | tr '\n' ' '))" >&2
        exit 2
    fi
done

build_targets

work="$(mktemp -d "${TMPDIR:-/tmp}/corvana-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Reads one figure out of libFuzzer's log: the last match of the pattern's first group.
figure() {
    sed -nE "s/$1/\\1/p" "$2" | tail -n 1
}

failed=0
for target in "${targets[@]}"; do
    corpus="$work/$target"
    mkdir -p "$corpus"
    if [ -d "$here/corpus/$target" ]; then
        cp -R "$here/corpus/$target/." "$corpus/"
    fi
    findings="$build/findings/$target"
    mkdir -p "$findings"
    log="$work/$target.log"
    status=0
    began=$SECONDS
    # shellcheck disable=SC2086 # the extra flags are words of their own
    ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}" \
        "$build/fuzz/$target" -max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$findings/" ${CORVANA_FUZZ_FLAGS:-} "$corpus" >"$log" 2>&1 || status=$?
    took=$((SECONDS - began))

    runs="$(figure '^stat::number_of_executed_units: *([0-9]+).*' "$log")"
    added="$(figure '^stat::new_units_added: *([0-9]+).*' "$log")"
    first_cov="$(sed -nE 's/^#[0-9]+[[:space:]]+INITED cov: ([0-9]+).*/\1/p' "$log" | head -n 1)"
    last_cov="$(figure '^#[0-9]+[[:space:]]+[A-Z]+ +cov: ([0-9]+).*' "$log")"
    coverage="${first_cov:-?} -> ${last_cov:-?} edges, ${added:-0} new inputs"
    if [ "$status" -eq 0 ]; then
        verdict="nothing found"
    else
        failed=1
        summary="$(grep -m1 -E '^(SUMMARY|Broken promise|==[0-9]+==ERROR)' "$log" || true)"
        verdict="FOUND: ${summary:-exit status $status}; input and log in $findings"
        cp "$log" "$findings/last-run.log"
    fi
    printf '%-22s runs %-10s seconds %-5s coverage %s; %s\n' "$target" "${runs:-?}" "$took" \
        "$coverage" "$verdict"
done
exit "$failed"
