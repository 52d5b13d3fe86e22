#!/usr/bin/env python3
"""Writes the event service's recovery settings as registry exports (UTF-16LE, BOM, CRLF):
svcreg.reg restarts the service on failure (and sets automatic start, normal error control),
stopsvc.reg takes no action on failure.

usage: make-service-reg.py out-folder SERVICE-NAME
"""
import os
import struct
import sys

SERVICES = r"HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\services"


def failure_actions(action):
    # SERVICE_FAILURE_ACTIONS as the registry holds it: reset period, reboot message, command,
    # three actions at offset 20, each (type, delay in milliseconds).
    return struct.pack("<5I", 0, 0, 0, 3, 20) + struct.pack("<2I", action, 0) * 3


def hex_value(name, data):
    # The registry editor's wrapping: lines end in a backslash, continuations are indented by two.
    text = f'"{name}"=hex:' + ",".join(f"{b:02x}" for b in data)
    lines, line = [], ""
    for piece in text.split(","):
        candidate = piece if not line else line + "," + piece
        if len(candidate) > 76 and line:
            lines.append(line + ",\\")
            line = "  " + piece
        else:
            line = candidate
    lines.append(line)
    return lines


def export(service, values):
    lines = ["Windows Registry Editor Version 5.00", "", f"[{SERVICES}\\{service}]"] + values + ["", ""]
    return b"\xff\xfe" + ("\r\n".join(lines) + "\r\n").encode("utf-16-le")


def main():
    out, service = sys.argv[1:3]
    restart = ['"Start"=dword:00000002', '"ErrorControl"=dword:00000001'] + hex_value("FailureActions",
                                                                                      failure_actions(1))
    with open(os.path.join(out, "svcreg.reg"), "wb") as f:
        f.write(export(service, restart))
    with open(os.path.join(out, "stopsvc.reg"), "wb") as f:
        f.write(export(service, hex_value("FailureActions", failure_actions(0))))


if __name__ == "__main__":
    main()
