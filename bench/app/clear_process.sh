#!/usr/bin/env bash
# Whole-process clearing: headless "corvana -dsp -esp" on a 100,000-line hosts file against sed deleting the same
# block from a copy of it. Prints both medians (5 runs each), the ratio and the target (at most 1.5).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
program=${1:-$root/build/corvana}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

cp "$program" "$work/corvana"
python3 - "$work/base" <<'PY'
import sys
lines = [f"10.{i // 65536 % 256}.{i // 256 % 256}.{i % 256} host{i}.example.internal" for i in range(100_000 - 42)]
block = ["# GitHub Host Start"] + [f"140.82.112.{i % 250} name{i}.github.com" for i in range(40)] + ["# GitHub Host End"]
with open(sys.argv[1], "w") as f:
    f.write("\n".join(lines) + "\n\n" + "\n".join(block))
PY

run() {
    hyperfine --style none --runs 5 --warmup 1 --prepare "cp $work/base $work/hosts" --export-json "$work/$1.json" \
        "$2" >/dev/null
    python3 -c "import json,sys; print(json.load(open(sys.argv[1]))['results'][0]['median'])" "$work/$1.json"
}

ours=$(run corvana "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM CORVANA_HOSTS=$work/hosts TMPDIR=$work XDG_CONFIG_HOME=$work/config $work/corvana -dsp -esp")
anchor=$(run sed "sed -i '/# GitHub Host Start/,/# GitHub Host End/d' $work/hosts")
python3 - "$ours" "$anchor" <<'PY'
import sys
ours, anchor = float(sys.argv[1]), float(sys.argv[2])
ratio = ours / anchor
verdict = 'ok' if ratio <= 1.5 else 'MISSED'
print(f"clear -dsp -esp (100k lines)  median {ours*1000:.1f} ms  anchor sed -i {anchor*1000:.1f} ms  ratio {ratio:.2f}  target <= 1.50  {verdict}")
print(f"| headless -dsp -esp, 100k lines | {ours*1000:.1f} ms | sed -i {anchor*1000:.1f} ms | {ratio:.2f} | <= 1.5 | {verdict} |")
PY
