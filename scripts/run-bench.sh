#!/usr/bin/env bash
# Times the program's zip reader (zip_bench.exe under Wine) against Info-ZIP's unzip (native) on
# the same archive of many deflated files, in the same run, and prints the throughput ratio.
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
