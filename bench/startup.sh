#!/usr/bin/env bash
# Start-up of a batch run: the program on a copy set of one small file, as a
# scheduler starts it (no display), against cp and rsync on the same file.
# hyperfine, warm cache; median milliseconds and the ratios to cp and rsync.
# The program's --version (no copy set read, nothing copied) is shown for
# information: the cost of loading the program itself.
#
#   bench/startup.sh [SCRATCH-FOLDER]
set -euo pipefail
. "$(dirname "$0")/common.sh" "$@"
"$top/scripts/deps.sh" hyperfine python3
runs=${RUNS:-200}

program=$build/bin/vestrelle
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_CONFIG_HOME=$scratch/config
mkdir -p "$scratch/src" "$scratch/dst"
echo "one small file" >"$scratch/src/a.txt"
printf 'cmbSrc\t%s\r\ncmbDst\t%s\r\n' "$scratch/src" "$scratch/dst" >"$scratch/one.vstl"
"$program" -f "$scratch/one.vstl" -l "$scratch/one.log"
grep -q 'コピーが終了しました' "$scratch/one.log" || { cat "$scratch/one.log"; exit 1; }

hyperfine -N --warmup 20 --runs "$runs" --export-json "$scratch/startup.json" \
  -n batch "$program -f $scratch/one.vstl -l $scratch/one.log" \
  -n cp "cp -ru --preserve=timestamps $scratch/src/. $scratch/dst/" \
  -n rsync "rsync -rtu $scratch/src/ $scratch/dst/" \
  -n version "$program --version" >/dev/null

python3 - "$scratch/startup.json" <<'PY'
import json, statistics, sys
results = {r["command"]: statistics.median(r["times"]) * 1000 for r in json.load(open(sys.argv[1]))["results"]}
print("median milliseconds, one-file copy set, nothing changed")
for name in ("batch", "cp", "rsync", "version"):
    print(f"{name:8} {results[name]:7.2f} ms")
print(f"batch / cp    {results['batch'] / results['cp']:.2f}")
print(f"batch / rsync {results['batch'] / results['rsync']:.2f}")
PY
