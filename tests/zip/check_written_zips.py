#!/usr/bin/env python3
"""Checks the archives that the zip writer test wrote: Debian's unzip must test them clean, and
Python's zipfile must list every entry with its comment and give back the source bytes."""
import os
import subprocess
import sys
import tempfile
import zipfile


def main(folder):
    rows = [line.split("\t") for line in
            open(os.path.join(folder, "manifest.tsv"), encoding="utf-8").read().splitlines() if line]
    expected = {}
    for zip_name, entry, source, comment in rows:
        expected.setdefault(zip_name, [])
        if entry:
            expected[zip_name].append((entry, source, comment))
    failures = []
    for zip_name, entries in expected.items():
        path = os.path.join(folder, zip_name)
        test = subprocess.run(["unzip", "-t", path], capture_output=True, text=True, errors="replace")
        # unzip reports an archive without entries as "zipfile is empty" with exit code 1.
        if test.returncode != 0 and not (not entries and "empty" in test.stdout + test.stderr):
            failures.append(f"unzip -t {zip_name}: exit {test.returncode}\n{test.stdout}{test.stderr}")
        with zipfile.ZipFile(path) as archive:
            if archive.testzip() is not None:
                failures.append(f"{zip_name}: bad entry {archive.testzip()}")
            infos = archive.infolist()
            if [i.filename for i in infos] != [e[0] for e in entries]:
                failures.append(f"{zip_name}: names {[i.filename for i in infos]} != {[e[0] for e in entries]}")
                continue
            for info, (entry, source, comment) in zip(infos, entries):
                want = open(os.path.join(folder, "src", source), "rb").read()
                if archive.read(info) != want:
                    failures.append(f"{zip_name}: {entry} differs from {source}")
                got_comment = info.comment.decode("utf-8" if info.flag_bits & 0x800 else "cp1252")
                if got_comment != comment:
                    failures.append(f"{zip_name}: {entry} comment {got_comment!r} != {comment!r}")
        # unzip extracts the ASCII-named entries byte for byte; of two same-named entries the last wins.
        with tempfile.TemporaryDirectory() as out:
            subprocess.run(["unzip", "-o", "-qq", path, "-d", out], capture_output=True)
            last = {}
            for entry, source, _ in entries:
                if entry.isascii():
                    last[entry] = source
            for entry, source in last.items():
                target = os.path.join(out, entry)
                want = open(os.path.join(folder, "src", source), "rb").read()
                if not os.path.isfile(target) or open(target, "rb").read() != want:
                    failures.append(f"unzip {zip_name}: {entry} not extracted as {source}")
    for failure in failures:
        print(failure)
    print(f"checked {len(expected)} archives, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
