#!/usr/bin/env python3
"""Prints what a demo run left behind: policy rules as a table, settings, debug log, prompts."""
import re
import sys


def parse_reg_query(text):
    """`reg query /s` output -> {key: {value: (type, data)}}"""
    keys, current = {}, None
    for line in text.splitlines():
        if line.startswith("HKEY_"):
            current = line.strip()
            keys.setdefault(current, {})
        elif current and line.startswith("    "):
            m = re.match(r"\s{4}(.*?)\s{4}(REG_\w+)\s{4}?(.*)$", line)
            if m:
                keys[current][m.group(1)] = (m.group(2), m.group(3))
    return keys


def show_rules(text):
    keys = parse_reg_query(text)
    if not keys:
        print("No policy rules written.")
        return
    rules = []
    for key, values in keys.items():
        m = re.search(r"\\(\d+)\\(Paths|Hashes)\\(\{[^\\]+\})$", key, re.I)
        if m:
            level = {"0": "disallowed", "262144": "unrestricted"}.get(m.group(1), m.group(1))
            item = values.get("ItemData", ("", ""))[1]
            if m.group(2).lower() == "hashes":
                item = values.get("FriendlyName", ("", item))[1] or "(hash rule)"
            rules.append((level, m.group(2), m.group(3), item))
    top = [k for k in keys if k.lower().endswith("codeidentifiers")]
    if top:
        print("Policy defaults:")
        for name, (kind, data) in sorted(keys[top[0]].items()):
            print(f"  {name:<24} {kind:<14} {data}")
    print(f"\n{len(rules)} rules:")
    print(f"  {'level':<13} {'kind':<7} {'key':<40} item")
    for level, kind, guid, item in sorted(rules, key=lambda r: (r[0], r[1], r[3])):
        print(f"  {level:<13} {kind:<7} {guid:<40} {item}")


def show_settings(text):
    keys = parse_reg_query(text)
    print("\nSettings (HKLM\\Software\\Merrowind IT\\Ironlatch):")
    if not keys:
        print("  (none)")
    for key, values in keys.items():
        print(f"  [{key}]")
        for name, (kind, data) in values.items():
            print(f"    {name} = {data}")


def show_file(title, path, most=None):
    print(f"\n{title} ({path}):")
    try:
        with open(path, encoding="utf-8", errors="replace") as f:
            lines = f.read().rstrip().splitlines()
    except OSError:
        print("  (none)")
        return
    shown = lines if most is None else lines[:most]
    print("\n".join("  " + line.replace("\t", "    ") for line in shown) or "  (empty)")
    if len(shown) < len(lines):
        print(f"  ... {len(lines) - len(shown)} more lines in the file")


def main():
    rules, settings, log, prompts = sys.argv[1:5]
    show_rules(open(rules, encoding="utf-8", errors="replace").read())
    show_settings(open(settings, encoding="utf-8", errors="replace").read())
    show_file("Debug log", log, most=30)
    show_file("Messages shown", prompts)


if __name__ == "__main__":
    main()
