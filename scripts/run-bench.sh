#!/usr/bin/env bash
# Two measurements under Wine, each against a yardstick timed in the same run: the zip reader
# against Info-ZIP's unzip on one archive, and a full /apply against reg.exe importing the rules
# that the apply wrote. A measurement, not a test: nothing here fails on time.
# A measurement, not a test: nothing here fails on time.
#   scripts/run-bench.sh [build folder] [rounds]
set -euo pipefail
ILATCH_BUILD=$(cd "${1:-build}" && pwd)
rounds=${2:-5}
source "$(dirname "$0")/wine-env.sh"

bench_exe=$ILATCH_BUILD/x64/bench/zip_bench.exe
if [ ! -f "$bench_exe" ]; then
  echo "run-bench: $bench_exe is missing (make build first)" >&2
  exit 1
fi
command -v unzip >/dev/null || { echo "run-bench: Info-ZIP's unzip is missing" >&2; exit 1; }

# Under the build folder, which the prefix maps as drive B:.
work=$ILATCH_BUILD/bench-work
rm -rf "$work"
mkdir -p "$work"

ilatch_make_prefix
cleanup() {
  ilatch_stop_session
  rm -rf "$work"
}
trap cleanup EXIT
ilatch_start_session
ilatch_allow_test_switches 'B:' 'C:\ilbench'

# A thousand files of text-like content in nested folders, about 16 MB in all.
python3 - "$work/bench.zip" <<'EOF'
import random, sys, zipfile
rng = random.Random(2024)
words = [bytes(rng.choice(b"abcdefghijklmnopqrstuvwxyz") for _ in range(rng.randint(2, 10))) for _ in range(4000)]
with zipfile.ZipFile(sys.argv[1], "w", zipfile.ZIP_DEFLATED) as zf:
    for i in range(1000):
        size = rng.choice((512, 2048, 4096, 8192, 16384, 65536))
        text = bytearray()
        while len(text) < size:
            text += rng.choice(words) + (b"\r\n" if rng.random() < 0.1 else b" ")
        zf.writestr("dir%02d/sub%d/file%04d.txt" % (i % 40, i % 3, i), bytes(text[:size]))
EOF

bytes_total=$(python3 -c "import sys, zipfile; print(sum(i.file_size for i in zipfile.ZipFile(sys.argv[1]).infolist()))" "$work/bench.zip")
files_total=$(python3 -c "import sys, zipfile; print(len(zipfile.ZipFile(sys.argv[1]).infolist()))" "$work/bench.zip")

# Rounds alternate between the two, so that a busy moment of the machine hits both alike.
# Ours: the program times its extraction itself, Wine's start-up left out. Theirs: unzip's whole run.
ours=""
theirs=""
for round in $(seq "$rounds"); do
  ms=$("$ILATCH_WINE64" "$bench_exe" 'B:\bench-work\bench.zip' 'B:\bench-work\ours' 1 </dev/null 2>/dev/null |
       sed -n 's/^round=1 ms=//p' | tr -d '\r')
  if [ -z "$ms" ]; then
    echo "run-bench: zip_bench.exe failed in round $round" >&2
    exit 1
  fi
  ours+="$ms"$'\n'
  rm -rf "$work/theirs"
  start=$(date +%s%N)
  unzip -q -o "$work/bench.zip" -d "$work/theirs"
  end=$(date +%s%N)
  theirs+="$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e6 }')"$'\n'
done

# Both must have produced the same files, or the timing means nothing.
if ! diff -r -q "$work/ours" "$work/theirs" >/dev/null; then
  echo "run-bench: our extraction differs from unzip's" >&2
  exit 1
fi

python3 - "$bytes_total" "$files_total" "$ours" "$theirs" <<'EOF'
import statistics, sys
size, files = int(sys.argv[1]), int(sys.argv[2])
ours = [float(x) for x in sys.argv[3].split()]
theirs = [float(x) for x in sys.argv[4].split()]
def line(name, times):
    median = statistics.median(times)
    print("%-28s median %8.1f ms  (%s)  %7.1f MB/s" % (name, median, ", ".join("%.1f" % t for t in times),
                                                       size / 1e6 / (median / 1000)))
    return median
print("archive: %d files, %.1f MB uncompressed" % (files, size / 1e6))
our_median = line("zip reader (Wine)", ours)
their_median = line("Info-ZIP unzip (native)", theirs)
print("throughput ratio (ours / unzip): %.2f  (aim: at least 0.70)" % (their_median / our_median))
EOF

# ---- A full apply against reg.exe importing the same rules ------------------------------------
# Both run under Wine from a cold process start, so only the work itself differs: the program
# removes old rules, writes the defaults, imports the hash and override rules, writes every
# option's rules and hooks the file classes; reg.exe imports an export of the policy it left.
policy='HKLM\SOFTWARE\Policies\Microsoft\Windows\safer\codeidentifiers'
app_dir="$WINEPREFIX/drive_c/ilbench"
rm -rf "$app_dir"
mkdir -p "$app_dir"
cp "$ILATCH_BUILD/bin/Ironlatch.exe" "$app_dir/"
all_options="/silent /nogpupdate /appdata /appdatadeep /appdatalocal /bin /userprofile /startup /programdata /tempexes /fakeexts /syskey /bcdedit /cipher /vssadmin"
run_ms() {  # runs a Wine command line and prints how long it took
  local start end
  start=$(date +%s%N)
  ILATCH_PROMPT_LOG='C:\ilbench\prompts.log' "$ILATCH_WINE64" "$@" </dev/null >/dev/null 2>&1 || true
  end=$(date +%s%N)
  awk -v ns=$((end - start)) 'BEGIN { printf "%.1f", ns / 1e6 }'
}
applies=""
imports=""
for round in $(seq "$rounds"); do
  applies+="$(run_ms 'C:\ilbench\Ironlatch.exe' $all_options)"$'\n'
  rm -f "$app_dir/policy.reg"
  "$ILATCH_WINE64" reg export "$policy" 'C:\ilbench\policy.reg' /y </dev/null >/dev/null 2>&1
  "$ILATCH_WINE64" reg delete "$policy" /f </dev/null >/dev/null 2>&1
  imports+="$(run_ms reg import 'C:\ilbench\policy.reg')"$'\n'
done
rules=$("$ILATCH_WINE64" reg query "$policy\\0\\Paths" </dev/null 2>/dev/null | grep -c '^HKEY' || true)
"$ILATCH_WINE64" 'C:\ilbench\Ironlatch.exe' /undo /silent /nogpupdate </dev/null >/dev/null 2>&1 || true
rm -rf "$app_dir"

python3 - "$rules" "$applies" "$imports" <<'EOF'
import statistics, sys
rules = int(sys.argv[1])
applies = [float(x) for x in sys.argv[2].split()]
imports = [float(x) for x in sys.argv[3].split()]
a, i = statistics.median(applies), statistics.median(imports)
print()
print("policy: %d disallowed path rules plus defaults and hash rules" % max(rules - 1, 0))
print("%-28s median %8.1f ms  (%s)" % ("full /apply (Wine)", a, ", ".join("%.1f" % t for t in applies)))
print("%-28s median %8.1f ms  (%s)" % ("reg import (Wine)", i, ", ".join("%.1f" % t for t in imports)))
print("time ratio (apply / import): %.2f  (aim: at most 1.50)" % (a / i))
EOF
