#!/usr/bin/env bash
# Measurements under Wine, each against a yardstick timed in the same run: the zip reader against
# Info-ZIP's unzip on one archive, a full /apply against reg.exe importing the rules that the apply
# wrote, the event service's alert latency and its answer to a stop, and the filter module's hooked
# launch and hashing; the whitelist scan over a thousand programs.
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
  /usr/bin/python3 "$ILATCH_ROOT/tests/alerts/smtp_sink.py" stop "$work/svcsink" 2>/dev/null || true
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
applies=""
imports=""
for round in $(seq "$rounds"); do
  applies+="$(ilatch_run_ms 'C:\ilbench\prompts.log' 'C:\ilbench\Ironlatch.exe' $all_options)"$'\n'
  rm -f "$app_dir/policy.reg"
  "$ILATCH_WINE64" reg export "$policy" 'C:\ilbench\policy.reg' /y </dev/null >/dev/null 2>&1
  "$ILATCH_WINE64" reg delete "$policy" /f </dev/null >/dev/null 2>&1
  imports+="$(ilatch_run_ms 'C:\ilbench\prompts.log' reg import 'C:\ilbench\policy.reg')"$'\n'
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

# ---- The event service: alert latency, and a stop during a burst with a silent server ----------
# The service runs under Wine's service manager from a copy beside the main program; the local
# SMTP sink of the tests takes the alerts (its third port accepts and never answers); it runs on
# the system's Python, which carries aiosmtpd.
svc_exe=$ILATCH_BUILD/x64/bench/service_bench.exe
sink_script=$ILATCH_ROOT/tests/alerts/smtp_sink.py
sink_port=47125
mkdir -p "$work/svc"
cp "$ILATCH_BUILD/bin/IronlatchEventSvc.exe" "$ILATCH_BUILD/bin/Ironlatch.exe" "$work/svc/"
/usr/bin/python3 "$sink_script" start "$work/svcsink" "$sink_port"
svc_out=$("$ILATCH_WINE64" "$svc_exe" 'B:\bench-work\svc\IronlatchEventSvc.exe' 'B:\bench-work\svcsink' \
          "$sink_port" $((sink_port + 2)) "$rounds" </dev/null 2>/dev/null | tr -d '\r' || true)
/usr/bin/python3 "$sink_script" stop "$work/svcsink"
python3 - "$svc_out" <<'EOF'
import statistics, sys
lines = sys.argv[1].splitlines()
def times(kind):
    return [float(l.split("ms=")[1]) for l in lines if l.startswith(kind + " ")]
alerts, filter_alerts, stops = times("alert"), times("filteralert"), times("stop")
memory = [l for l in lines if l.startswith("memory ")]
print()
if not alerts or not filter_alerts or not stops or not memory:
    sys.exit("run-bench: service_bench.exe failed:\n" + sys.argv[1])
for name, values in (("entry to alert mail (866)", alerts), ("filter-module block to mail", filter_alerts),
                     ("stop during a burst", stops)):
    print("%-28s median %8.1f ms  (%s)  (aim: at most 2000)" % (name, statistics.median(values),
                                                                 ", ".join("%.1f" % t for t in values)))
fields = dict(f.split("=") for f in memory[0].split()[1:])
print("%-28s %.1f MB after 1,000 alert entries (%.1f MB before, peak %.1f MB)  (aim: under 32)" % (
    "service working set", float(fields["after_mb"]), float(fields["before_mb"]), float(fields["peak_mb"])))
EOF

# ---- The filter module: a hooked launch, and hashing --------------------------------------------
# Measured as a user meets it, every run a process that filter_bench starts and waits for inside
# Wine: a hooked EXE launch of a 1 MB program with both 100,000-line definitions lists, placed as
# a user gets them (written, then applied by the main program, which builds the list index),
# against the same launch with empty lists and against the floor (a do-nothing GUI program
# importing the module's system libraries); the same lists written again by hand, which the module
# then reads as text; and the hashing, as the extra time of a hooked launch of a 200 MB program
# with one-line lists of both kinds over the same launch with empty lists, against coreutils'
# md5sum and sha256sum run one after the other on the same file. The module and the main program
# lie in a folder listed for test runs: under Wine they must trust its account as the data
# folder's owner (ILATCH_TRUSTED_OWNER), as they trust Administrators on Windows.
filter_rounds=$((rounds > 11 ? rounds : 11))
filter_bench=$ILATCH_BUILD/x64/bench/filter_bench.exe
filter_dir="$WINEPREFIX/drive_c/ilfilterbench"
ilatch_allow_test_switches 'B:' 'C:\ilbench' 'C:\ilfilterbench'
data_dir=$("$ILATCH_WINE64" cmd /c echo '%ProgramData%' </dev/null 2>/dev/null | tr -d '\r')
data_unix="$WINEPREFIX/drive_c/${data_dir#C:\\}"
data_unix="${data_unix//\\//}/Merrowind IT/Ironlatch"
rm -rf "$filter_dir"
mkdir -p "$filter_dir" "$data_unix"
cp "$ILATCH_BUILD/bin/IronlatchFilterMod.exe" "$ILATCH_BUILD/bin/Ironlatch.exe" "$filter_dir/"
cp "$ILATCH_BUILD/x64/bench/filter_floor.exe" "$filter_dir/floor.exe"
# Do-nothing programs grown to 1 MB and 200 MB: the overlay is hashed like any other byte.
cp "$ILATCH_BUILD/x64/tests/fakes/fakeprog.exe" "$filter_dir/program.exe"
cp "$filter_dir/program.exe" "$filter_dir/big.exe"
head -c $((1024 * 1024 - $(stat -c %s "$filter_dir/program.exe"))) /dev/urandom >>"$filter_dir/program.exe"
head -c $((200 * 1024 * 1024 - $(stat -c %s "$filter_dir/big.exe"))) /dev/urandom >>"$filter_dir/big.exe"
launches=$("$ILATCH_WINE64" "$filter_bench" launch 'C:\ilfilterbench\IronlatchFilterMod.exe' \
  'C:\ilfilterbench\Ironlatch.exe' 'C:\ilfilterbench\program.exe' 'C:\ilfilterbench\big.exe' \
  'C:\ilfilterbench\floor.exe' "$data_dir\\Merrowind IT\\Ironlatch" "$filter_rounds" </dev/null 2>"$work/filter_bench.err" |
  tr -d '\r') || { cat "$work/filter_bench.err" >&2; exit 1; }
"$ILATCH_WINE64" 'C:\ilfilterbench\Ironlatch.exe' /undo /silent /nogpupdate </dev/null >/dev/null 2>&1 || true

hash_out=$("$ILATCH_WINE64" "$filter_bench" hash 'C:\ilfilterbench\big.exe' </dev/null 2>/dev/null | tr -d '\r')
coreutils=""
for round in $(seq "$filter_rounds"); do
  start=$(date +%s%N)
  md5=$(md5sum "$filter_dir/big.exe" | cut -d' ' -f1)
  sha=$(sha256sum "$filter_dir/big.exe" | cut -d' ' -f1)
  end=$(date +%s%N)
  coreutils+="$(awk -v ns=$((end - start)) 'BEGIN { printf "%.3f", ns / 1e6 }')"$'\n'
done
if ! grep -qi "md5=$md5 sha256=$sha" <<<"$hash_out"; then
  echo "run-bench: the module's digests differ from coreutils'" >&2
  exit 1
fi
rm -rf "$filter_dir"

python3 - "$launches" "$coreutils" <<'PYEOF'
import re, statistics, sys
runs = {}
for case, ms in re.findall(r"case=(\w+) round=\d+ ms=([\d.]+)", sys.argv[1]):
    runs.setdefault(case, []).append(float(ms))
if set(runs) != {"fullfirst", "full", "text", "empty", "floor", "oneline", "bigfull", "bigempty"}:
    sys.exit("run-bench: filter_bench launch failed")
theirs = [float(x) for x in sys.argv[2].split()]
med = {k: statistics.median(v) for k, v in runs.items()}
print()
for name, key in (("hooked launch, 100k lists", "full"), ("hooked launch, empty lists", "empty"),
                  ("floor (do-nothing GUI)", "floor"), ("100k lists as text", "text"),
                  ("hooked launch, 1-line lists", "oneline"),
                  ("first launch after a new index", "fullfirst"), ("200 MB launch, 1-line lists", "bigfull"),
                  ("200 MB launch, empty lists", "bigempty")):
    print("%-30s median %8.1f ms  (%s)" % (name, med[key], ", ".join("%.1f" % t for t in runs[key])))
print("time ratio (full lists / empty lists): %.2f  (aim: at most 1.10)" % (med["full"] / med["empty"]))
print("time ratio (full lists / floor): %.2f  (aim: at most 2.00)" % (med["full"] / med["floor"]))
print("time ratio (lists read as text / empty lists): %.2f" % (med["text"] / med["empty"]))
print("time ratio (full lists / one-line lists, both hashing the program): %.2f" % (med["full"] / med["oneline"]))
print("time ratio (first launch after a new index / empty lists): %.2f" % (med["fullfirst"] / med["empty"]))
o, t = med["bigfull"] - med["bigempty"], statistics.median(theirs)
print("%-30s median %8.1f ms  %7.1f MB/s" % ("MD5+SHA-256 in the launch", o, 200 * 1.048576 / (o / 1000)))
print("%-30s median %8.1f ms  (%s)  %7.1f MB/s" % ("md5sum + sha256sum (native)", t, ", ".join("%.1f" % x for x in theirs), 200 * 1.048576 / (t / 1000)))
print("throughput ratio (ours / coreutils): %.2f  (aim: at least 1.00)" % (t / o))
PYEOF

# ---- The whitelist scan over a thousand programs (its own script) -----------------------------
# It starts a Wine session of its own, and a second persistent wineserver refuses to start.
ilatch_stop_session
"$(dirname "$0")/../bench/whitelist-scan.sh" "$ILATCH_BUILD" "$rounds"
