#!/usr/bin/env bash
# The real program in real windows under Xvfb, driven with xdotool like a person would: accelerate with source 5,
# wait for the end of the run, open and close the Ping, download and About windows, close the program. Saves a
# screenshot of each window into the folder given as the second argument.
set -euo pipefail
program=$1
shots=${2:-$(pwd)/screenshots}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
mkdir -p "$shots" "$work/tmp"
cleanup() {
    [ -n "${app:-}" ] && kill "$app" 2>/dev/null || true
    [ -n "${xvfb:-}" ] && kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAILED: $*" >&2
    exit 1
}

# A display number nobody uses.
number=90
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
export DISPLAY=":$number"
for _ in $(seq 100); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done

cp "$program" "$work/corvana"
printf '127.0.0.1 localhost\n' >"$work/hosts"
printf '[获取地址]\nData=5\n' >"$work/Corvana配置.ini"
(cd "$work" && CORVANA_HOSTS="$work/hosts" TMPDIR="$work/tmp" XDG_CONFIG_HOME="$work/config" \
    QT_QPA_PLATFORM=xcb ./corvana >"$work/out.log" 2>&1) &
app=$!

# Waits for a shown window whose title matches; prints its id.
window() {
    xdotool search --sync --onlyvisible --name "$1" | head -n 1
}
# Clicks at a point of a window, in its own coordinates.
click() {
    xdotool mousemove --window "$1" "$2" "$3" click 1
    sleep 0.3
}
shot() {
    import -window "$1" "$shots/$2.png"
}
closeWindow() {
    /usr/bin/python3 "$here/close_window.py" "$1"
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "$2" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    fail "window '$2' did not close"
}

main=$(timeout 20 bash -c "$(declare -f window); window '^Corvana\$'") || fail "no main window"
sleep 0.5
shot "$main" real_main_window
click "$main" 168 36 # 开始加速
for _ in $(seq 200); do
    grep -q "# GitHub Host End" "$work/hosts" && break
    sleep 0.1
done
grep -q "# GitHub Host End" "$work/hosts" || fail "the run wrote no block"
sleep 2 # the flush, the second the run waits, and "Complete"
shot "$main" real_main_window_after_run

click "$main" 58 340 # Ping Github
ping=$(timeout 10 bash -c "$(declare -f window); window '^Ping Github'") || fail "no Ping window"
sleep 0.5
shot "$ping" real_ping_window
closeWindow "$ping" '^Ping Github'

main=$(timeout 10 bash -c "$(declare -f window); window '^Corvana\$'") || fail "main window not back after Ping"
click "$main" 308 340 # Github 加速下载
download=$(timeout 10 bash -c "$(declare -f window); window '^Github 加速下载'") || fail "no download window"
sleep 0.5
shot "$download" real_download_window
closeWindow "$download" '^Github 加速下载'

main=$(timeout 10 bash -c "$(declare -f window); window '^Corvana\$'") || fail "main window not back after download"
click "$main" 359 36 # 关于
about=$(timeout 10 bash -c "$(declare -f window); window '^关于\$'") || fail "no About window"
sleep 0.5
shot "$about" real_about_window
closeWindow "$about" '^关于$'

main=$(timeout 10 bash -c "$(declare -f window); window '^Corvana\$'") || fail "main window not back after About"
closeWindow "$main" '^Corvana$'
for _ in $(seq 50); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "the program did not end when its main window closed"
wait "$app" || fail "the program ended with an error"
app=
grep -q "Data=5" "$work/Corvana配置.ini" || fail "the settings were not written on the way out"
echo "real-window run passed; screenshots in $shots"
