#!/usr/bin/env python3
"""Checks that the programs' code spells the maker's and the product's names, the protection's name
and the maker's hosts nowhere but in platform/ProductName.h.

  check-names.py SOURCE_DIR

Reads the names from platform/ProductName.h, then looks for each of them, in any letter case, in
the string literals of the code and resource scripts of the programs' folders. Comments may name
them; so may an #include and a resource line that loads a file (manifest, icon, bitmap, data),
since those name files. Prints every breach and exits 1 when there is one.
"""
import os
import re
import sys

from sourcetree import literals, run_check

FOLDERS = ['platform', 'common', 'zip', 'notify', 'engine', 'alerts', 'update', 'ui', 'app', 'filtermod',
           'eventsvc', 'resources']
ENDINGS = ('.cpp', '.h', '.c', '.rc')
ROOT_HEADER = os.path.join('platform', 'ProductName.h')
NAME = re.compile(r'^#define (ILATCH_[A-Z_]+) ILATCH_NAME_\("([^"]*)"\)$', re.M)
# A resource statement that loads a file: its text is the file's name.
FILE_RESOURCE = re.compile(r'\b(RT_MANIFEST|ICON|BITMAP|CUSTOM)\s+"')


def names(source_dir):
    with open(os.path.join(source_dir, ROOT_HEADER), encoding='utf-8') as header:
        return {value.lower() for _, value in NAME.findall(header.read()) if value}


def breaches(source_dir):
    wanted = names(source_dir)
    if not wanted:
        return [ROOT_HEADER + ': gives no names']
    found = []
    for folder in FOLDERS:
        for root, _, files in os.walk(os.path.join(source_dir, folder)):
            for file_name in sorted(files):
                path = os.path.join(root, file_name)
                relative = os.path.relpath(path, source_dir)
                if not file_name.endswith(ENDINGS) or relative == ROOT_HEADER:
                    continue
                with open(path, encoding='utf-8', errors='replace') as source:
                    text = source.read()
                for number, line, literal in literals(text):
                    if line.lstrip().startswith('#include') or FILE_RESOURCE.search(line):
                        continue
                    spelled = [name for name in sorted(wanted) if name in literal.lower()]
                    if spelled:
                        found.append(f'{relative}:{number}: "{literal}" spells "{spelled[0]}"')
    return found


if __name__ == '__main__':
    sys.exit(run_check(__doc__, breaches, f'name(s) spelled outside {ROOT_HEADER}'))
