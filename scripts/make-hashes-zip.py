#!/usr/bin/env python3
"""Builds the hash-rule resource: a registry export (UTF-16LE, BOM, CRLF) of the built-in hash
rules, zipped as the single deflated entry "hashes.reg".

usage: make-hashes-zip.py hash-rules.tsv out.zip RULE-DESCRIPTION
"""
import math
import struct
import sys
import zipfile

ROOT = r"HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows\safer\codeidentifiers\0\Hashes"
# 2016-01-01 00:00 UTC as a FILETIME: the time the rules were made.
CREATED = 130960800000000000


def hex_bytes(data):
    return ",".join(f"{b:02x}" for b in data)


def qword(value):
    return "hex(b):" + hex_bytes(struct.pack("<Q", value))


def friendly_name(index, size):
    text = f"ransomware-sample-{index:02d}.exe\r\n{math.ceil(size / 1024)} KB\r\n1/1/2016 12:00 AM"
    return "hex(1):" + hex_bytes((text + "\0").encode("utf-16-le"))


def export_text(rows, description):
    lines = ["Windows Registry Editor Version 5.00", "", f"[{ROOT}]", ""]
    for index, (key, size, md5, sha256) in enumerate(rows, start=1):
        lines += [
            f"[{ROOT}\\{key}]",
            f'"LastModified"={qword(CREATED)}',
            f'"Description"="{description}"',
            f'"FriendlyName"={friendly_name(index, size)}',
            '"SaferFlags"=dword:00000000',
            f'"ItemSize"={qword(size)}',
            f'"ItemData"=hex:{hex_bytes(bytes.fromhex(md5))}',
            '"HashAlg"=dword:00008003',
            "",
            f"[{ROOT}\\{key}\\SHA256]",
            f'"ItemData"=hex:{hex_bytes(bytes.fromhex(sha256))}',
            '"HashAlg"=dword:0000800c',
            "",
        ]
    return "\r\n".join(lines) + "\r\n"


def main():
    table, out, description = sys.argv[1:4]
    rows = []
    for line in open(table, encoding="utf-8"):
        if line.startswith("#") or not line.strip():
            continue
        key, size, md5, sha256 = line.split()
        rows.append((key, int(size), md5, sha256))
    data = b"\xff\xfe" + export_text(rows, description).encode("utf-16-le")
    info = zipfile.ZipInfo("hashes.reg", date_time=(2016, 1, 1, 0, 0, 0))
    info.compress_type = zipfile.ZIP_DEFLATED
    with zipfile.ZipFile(out, "w") as archive:
        archive.writestr(info, data)


if __name__ == "__main__":
    main()
