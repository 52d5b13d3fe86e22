#!/usr/bin/env python3
"""Builds the archives the zip tests extract: sound ones made by Info-ZIP's zip and by Python's
zipfile from known folder trees (trees/<name>), and broken or hostile ones.

    make_zip_fixtures.py <output folder>
"""
import io
import os
import random
import shutil
import subprocess
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product_names import PRODUCT  # noqa: E402


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_trees(trees):
    rng = random.Random(1234)
    basic = os.path.join(trees, "basic")
    write(os.path.join(basic, "readme.txt"), ("%s zip test\r\n" % PRODUCT).encode("ascii") * 300)
    write(os.path.join(basic, "empty.txt"), b"")
    write(os.path.join(basic, "data", "blob.bin"), rng.randbytes(150000))
    write(os.path.join(basic, "data", "nested", "deeper", "leaf.txt"), b"leaf " * 5000)
    write(os.path.join(basic, "data", "nested", "empty-too.dat"), b"")
    os.makedirs(os.path.join(basic, "emptydir"), exist_ok=True)

    write(os.path.join(trees, "utf8", "gr\u00fc\u00dfe", "na\u00efve \u00e9t\u00e9.txt"), "na\u00efve\r\n".encode("utf-8"))

    many = os.path.join(trees, "many")
    for i in range(1500):
        write(os.path.join(many, "f%02d" % (i % 30), "file%04d.txt" % i), (b"line %d\r\n" % i) * (i % 40))

    os.makedirs(os.path.join(trees, "none"), exist_ok=True)


def tree_items(root):
    """(archive name, full path, is folder) for every folder and file below root, parents first."""
    items = []
    for folder, dirs, files in os.walk(root):
        dirs.sort()
        rel = os.path.relpath(folder, root)
        if rel != ".":
            items.append((rel.replace(os.sep, "/") + "/", folder, True))
        for name in sorted(files):
            path = os.path.join(folder, name)
            items.append((os.path.relpath(path, root).replace(os.sep, "/"), path, False))
    return items


class NonSeekable:
    """A stream without tell or seek: zipfile then writes data descriptors."""

    def __init__(self, f):
        self.f = f

    def write(self, data):
        return self.f.write(data)

    def flush(self):
        self.f.flush()


def python_zip(out, root, method, streamed=False, comment=b""):
    with open(out, "wb") as raw:
        target = NonSeekable(raw) if streamed else raw
        with zipfile.ZipFile(target, "w", compression=method) as zf:
            for arcname, path, folder in tree_items(root):
                if folder:
                    zf.writestr(zipfile.ZipInfo(arcname), b"")
                else:
                    zf.write(path, arcname)
            zf.comment = comment


def info_zip(out, root, *options):
    if os.path.exists(out):
        os.remove(out)
    subprocess.run(["zip", "-r", "-q", "-X", *options, os.path.abspath(out), "."], cwd=root, check=True)


def info_zip_streamed(out, root):
    with open(out, "wb") as f:
        # Written to a pipe, zip cannot go back to fill in sizes and CRC: data descriptors follow each entry.
        zip_proc = subprocess.Popen(["zip", "-r", "-q", "-X", "-", "."], cwd=root, stdout=subprocess.PIPE)
        shutil.copyfileobj(zip_proc.stdout, f)
        if zip_proc.wait() != 0:
            raise SystemExit("zip failed")


def entries_zip(entries, method=zipfile.ZIP_DEFLATED):
    """An archive of (name, bytes) entries, the names taken exactly as given."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression=method) as zf:
        for name, data in entries:
            info = zipfile.ZipInfo("placeholder")
            info.filename = name  # zipfile would tidy some names; these must stay hostile
            info.compress_type = method
            zf.writestr(info, data)
    return buffer.getvalue()


def central_entries(data):
    """Offsets of (central record, local header) for each entry."""
    result = []
    pos = data.rfind(b"PK\x05\x06")
    count = int.from_bytes(data[pos + 10:pos + 12], "little")
    cd = int.from_bytes(data[pos + 16:pos + 20], "little")
    for _ in range(count):
        local = int.from_bytes(data[cd + 42:cd + 46], "little")
        result.append((cd, local))
        n, e, c = (int.from_bytes(data[cd + k:cd + k + 2], "little") for k in (28, 30, 32))
        cd += 46 + n + e + c
    return result


def data_offset(data, local):
    n, e = (int.from_bytes(data[local + k:local + k + 2], "little") for k in (26, 28))
    return local + 30 + n + e


GOOD = ("good.txt", b"a good entry that must not be written alone\r\n" * 20)
VICTIM_DATA = b"new content for the victim file\r\n" * 50
NOISE = random.Random(99).randbytes(20000)  # does not compress


def hostile(out_dir):
    names = {
        "evil_dotdot.zip": "../ilzip_escape.txt",
        "evil_dotdot_backslash.zip": "..\\ilzip_escape.txt",
        "evil_dotdot_nested.zip": "sub/../../ilzip_escape.txt",
        "evil_dots_blanks.zip": "sub/.. /ilzip_escape.txt",
        "evil_absolute.zip": "/ilzip_abs_probe.txt",
        "evil_absolute_backslash.zip": "\\ilzip_abs_probe.txt",
        "evil_drive.zip": "C:/ilzip_drive_probe.txt",
        "evil_drive_relative.zip": "C:ilzip_drive_probe.txt",
        "evil_unc.zip": "//server/share/ilzip.txt",
        "evil_device.zip": "sub/aux.txt",
        "evil_stream.zip": "good.txt:hidden",
    }
    for file, name in names.items():
        write(os.path.join(out_dir, file), entries_zip([GOOD, (name, b"escaped\r\n")]))


def broken(out_dir):
    # A stored entry whose data no longer match its CRC-32.
    data = bytearray(entries_zip([GOOD, ("victim.txt", VICTIM_DATA)], zipfile.ZIP_STORED))
    _, local = central_entries(data)[1]
    data[data_offset(data, local) + 10] ^= 0xFF
    write(os.path.join(out_dir, "bad_crc_stored.zip"), data)

    # A deflated entry whose recorded CRC-32 is wrong (in both headers).
    data = bytearray(entries_zip([GOOD, ("victim.txt", VICTIM_DATA)]))
    cd, local = central_entries(data)[1]
    for at in (cd + 16, local + 14):
        data[at] ^= 0x01
    write(os.path.join(out_dir, "bad_crc_deflated.zip"), data)

    # Deflate data that do not inflate.
    data = bytearray(entries_zip([GOOD, ("victim.txt", VICTIM_DATA)]))
    cd, local = central_entries(data)[1]
    start = data_offset(data, local)
    data[start:start + 4] = b"\xff\xff\xff\xff"
    write(os.path.join(out_dir, "bad_deflate.zip"), data)

    # The central directory claims more data than there are.
    data = bytearray(entries_zip([GOOD, ("victim.txt", VICTIM_DATA)]))
    cd, _ = central_entries(data)[1]
    data[cd + 20:cd + 24] = (0x7FFFFFF0).to_bytes(4, "little")
    write(os.path.join(out_dir, "bad_sizes.zip"), data)

    # Download cut short: the end records are lost.
    whole = entries_zip([GOOD, ("victim.txt", NOISE)])
    write(os.path.join(out_dir, "truncated_half.zip"), whole[: len(whole) * 6 // 10])

    # Bytes lost in the middle while the end record survives: the offsets point at the wrong place.
    _, local = central_entries(whole)[1]
    write(os.path.join(out_dir, "truncated_middle.zip"), whole[:local + 40] + whole[local + 240:])

    write(os.path.join(out_dir, "not_a_zip.zip"), b"This is a text file, not an archive.\r\n" * 10)
    write(os.path.join(out_dir, "unsupported_method.zip"),
          entries_zip([GOOD, ("victim.txt", VICTIM_DATA)], zipfile.ZIP_BZIP2))


def main():
    out_dir = sys.argv[1]
    shutil.rmtree(out_dir, ignore_errors=True)
    trees = os.path.join(out_dir, "trees")
    make_trees(trees)
    basic = os.path.join(trees, "basic")

    info_zip(os.path.join(out_dir, "zip_deflated.zip"), basic)
    info_zip(os.path.join(out_dir, "zip_stored.zip"), basic, "-0")
    info_zip(os.path.join(out_dir, "zip_descriptor.zip"), basic, "-fd")
    info_zip_streamed(os.path.join(out_dir, "zip_streamed.zip"), basic)
    python_zip(os.path.join(out_dir, "py_deflated.zip"), basic, zipfile.ZIP_DEFLATED)
    python_zip(os.path.join(out_dir, "py_stored.zip"), basic, zipfile.ZIP_STORED)
    python_zip(os.path.join(out_dir, "py_streamed.zip"), basic, zipfile.ZIP_DEFLATED, streamed=True)
    python_zip(os.path.join(out_dir, "py_comment.zip"), basic, zipfile.ZIP_DEFLATED,
               comment=b"a comment that holds PK\x05\x06 like an end record")
    python_zip(os.path.join(out_dir, "py_utf8.zip"), os.path.join(trees, "utf8"), zipfile.ZIP_DEFLATED)
    python_zip(os.path.join(out_dir, "py_many.zip"), os.path.join(trees, "many"), zipfile.ZIP_DEFLATED)
    python_zip(os.path.join(out_dir, "py_none.zip"), os.path.join(trees, "none"), zipfile.ZIP_DEFLATED)

    hostile(out_dir)
    broken(out_dir)
    write(os.path.join(out_dir, "stamp"), b"")


if __name__ == "__main__":
    main()
