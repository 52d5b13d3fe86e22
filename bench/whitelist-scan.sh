#!/usr/bin/env bash
# The whitelist scan over a thousand programs, under Wine. A measurement, not a test.
#   bench/whitelist-scan.sh [build folder] [rounds]
# "/whitelist" scans the blocked folders and writes an unrestricted rule per program and folder
# form; its cost should grow with the programs found, not with their square. Timed with no
# programs there (Wine's start-up and the rest of the run), then with 1,000 in %appdata%.
set -euo pipefail
ILATCH_BUILD=$(cd "${1:-build}" && pwd)
rounds=${2:-3}
source "$(dirname "$0")/../scripts/wine-env.sh"
ilatch_make_prefix
trap ilatch_stop_session EXIT
ilatch_start_session

policy='HKLM\SOFTWARE\Policies\Microsoft\Windows\safer\codeidentifiers'
scan_dir="$WINEPREFIX/drive_c/ilbench-scan"
rm -rf "$scan_dir"
mkdir -p "$scan_dir"
cp "$ILATCH_BUILD/bin/Ironlatch.exe" "$scan_dir/"
profile=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n1)
roaming="$profile/AppData/Roaming"
scan_ms() {  # one scan from a clean policy; prints its time
  "$ILATCH_WINE64" reg delete "$policy" /f </dev/null >/dev/null 2>&1 || true
  ilatch_run_ms 'C:\ilbench-scan\prompts.log' 'C:\ilbench-scan\Ironlatch.exe' /whitelist /silent /nogpupdate
}
rm -rf "$roaming"/ilbench-vendor*
empties=""
for round in $(seq "$rounds"); do empties+="$(scan_ms)"$'\n'; done
# 40 vendor folders of 25 programs each: the scan reads %appdata% and its first-level folders.
for v in $(seq -w 1 40); do
  mkdir -p "$roaming/ilbench-vendor$v"
  for p in $(seq -w 1 25); do printf 'MZ' >"$roaming/ilbench-vendor$v/tool$p.exe"; done
done
scans=""
for round in $(seq "$rounds"); do scans+="$(scan_ms)"$'\n'; done
allowed=$("$ILATCH_WINE64" reg query "$policy\\262144\\Paths" /s </dev/null 2>/dev/null | grep -c 'ItemData' || true)
"$ILATCH_WINE64" reg delete "$policy" /f </dev/null >/dev/null 2>&1 || true
rm -rf "$roaming"/ilbench-vendor* "$scan_dir"

python3 - "$allowed" "$empties" "$scans" <<'EOF2'
import statistics, sys
allowed = int(sys.argv[1])
empties = [float(x) for x in sys.argv[2].split()]
scans = [float(x) for x in sys.argv[3].split()]
e, s = statistics.median(empties), statistics.median(scans)
print()
print("whitelist scan: 1000 programs, %d unrestricted rules written" % allowed)
print("%-28s median %8.1f ms  (%s)" % ("/whitelist, no programs", e, ", ".join("%.1f" % t for t in empties)))
print("%-28s median %8.1f ms  (%s)" % ("/whitelist, 1000 programs", s, ", ".join("%.1f" % t for t in scans)))
print("scan of 1000 programs: %.1f ms  (aim: under 2000 ms)" % (s - e))
EOF2
