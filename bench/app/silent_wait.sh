#!/usr/bin/env bash
# The silent loop's hourly wait: a hidden autostart launch with no source selected starts no run, trims memory and
# waits. Over 10 seconds of that wait the process must make no system call at all (counted with strace attached to
# every thread). Prints the count and the target (0).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$root/build/corvana}
seconds=${2:-10}
work=$(mktemp -d)
pid=
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cp "$program" "$work/corvana"
printf '127.0.0.1 localhost\n' >"$work/hosts"
# Silent mode ticked, no source button selected: the loop only trims and waits.
printf '[获取地址]\nData=0\n[其余设置]\nAutoMode=1\n' >"$work/Corvana配置.ini"
(cd "$work" && exec env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM CORVANA_HOSTS="$work/hosts" TMPDIR="$work" \
    XDG_CONFIG_HOME="$work/config" ./corvana AutoModeStart >/dev/null 2>&1) &
pid=$!
sleep 1 # start-up done; every thread now waits
timeout -s INT "$seconds" strace -f -c -p "$pid" -o "$work/strace.txt" 2>"$work/attach.txt" || true
grep -q "attached" "$work/attach.txt" || { echo "strace could not attach to the program" >&2; exit 1; }
# strace -c writes nothing at all when no call was made; otherwise its last line is the total.
calls=$(awk '$NF == "total" {print $4}' "$work/strace.txt")
calls=${calls:-0}
verdict=ok
[ "$calls" -eq 0 ] || verdict=MISSED
printf 'silent-loop wait (%ss)              system calls %s  target 0  %s\n' "$seconds" "$calls" "$verdict"
printf '| silent-loop wait, %s s | %s system calls | | | 0 | %s |\n' "$seconds" "$calls" "$verdict"
[ "$calls" -eq 0 ] || sed -n '1,20p' "$work/strace.txt" >&2
