#!/usr/bin/env python3
"""Writes the right-to-left-override rule as a registry export (UTF-16LE, BOM, CRLF).

The rule disallows every file name that holds U+202E, the character that makes Windows show the
rest of a name reversed ("photo\u202Egpj.exe" shows as "photoexe.jpg").

usage: make-rlo-reg.py out.reg RULE-DESCRIPTION
"""
import sys

KEY = (r"HKEY_LOCAL_MACHINE\SOFTWARE\Policies\Microsoft\Windows\safer\codeidentifiers\0\Paths"
       r"\{6d6b9889-662a-453e-8a3e-31668025d1be}")

lines = [
    "Windows Registry Editor Version 5.00",
    "",
    f"[{KEY}]",
    f'"Description"="{sys.argv[2]}"',
    '"SaferFlags"=dword:00000000',
    '"ItemData"="*\u202e*"',
    "",
]
with open(sys.argv[1], "wb") as out:
    out.write(b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le"))
