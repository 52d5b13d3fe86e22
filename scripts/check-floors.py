#!/usr/bin/env python3
"""Checks that the programs' code keeps to its floors.

  check-floors.py SOURCE_DIR [OBJECT_DIR]

With the sources only: every #include of a project header lies on the including folder's own floor
or below (the table below, which the README's Layout section states in words), and no header
shares its name with a source in another folder (tests and benchmarks included), which a reader
would take for its own. With the build
folder's object files as well: no call runs up into a folder that the caller's floor does not list,
and no circle of calls runs between files of different modules (a function whose address another
file takes counts as called from there, so a table of function pointers is followed like calls). A
module may span several files (Form1Apply.cpp, ProtectionRules.cpp: the module's name and a role);
its files may call each other. Prints every breach and exits 1 when there is one.

The check cannot be passed by reading too little: a top-level folder of sources that is neither in
the table nor among the folders outside the programs is a breach, and so are a build folder that is
not there, one without the programs' objects, and a source of the programs without its object (a
build folder of another tree, or one not built since the source came).
"""
import collections
import os
import re
import subprocess
import sys

# The tests and the benchmarks stand outside the programs (sourcetree.OUTSIDE): they may use any folder.
from sourcetree import OUTSIDE, program_folders, sources

# What each folder may include besides itself.
FLOORS = {
    'platform': set(),
    'common': {'platform'},
    'zip': {'common', 'platform'},
    'notify': {'common', 'platform'},
    'engine': {'zip', 'notify', 'common', 'platform'},
    'alerts': {'zip', 'notify', 'common', 'platform'},
    'update': {'alerts', 'engine', 'zip', 'notify', 'common', 'platform'},
    'ui': {'update', 'alerts', 'engine', 'zip', 'notify', 'common', 'platform'},
    'app': {'ui', 'update', 'alerts', 'engine', 'zip', 'notify', 'common', 'platform'},
    'filtermod': {'notify', 'common', 'platform'},
    'eventsvc': {'notify', 'common', 'platform'},
    # The small programs the main program carries and writes out (the restart helper, the
    # prevention test's program), each in a folder of its own.
    'resources': {'common', 'platform'},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([a-z]+)/([A-Za-z0-9_]+)\.h"', re.M)


def unlisted_folders(source_dir):
    return [f'{name}/ holds sources but has no floor in the table' for name in program_folders(source_dir)
            if name not in FLOORS and sources(source_dir, name)]


def name_breaches(source_dir):
    """A header named like a source of another folder."""
    headers, units = collections.defaultdict(set), collections.defaultdict(set)
    for folder in sorted(set(FLOORS) | OUTSIDE):
        for path in sources(source_dir, folder):
            stem, ending = path.rsplit('.', 1)
            where, name = stem.rsplit('/', 1)
            (headers if ending == 'h' else units)[name].add((where, path))
    breaches = []
    for name, places in sorted(headers.items()):
        for where, header in sorted(places):
            breaches += [f'{header} is named like {source}' for other, source in sorted(units.get(name, ()))
                         if other != where]
    return breaches


def include_breaches(source_dir):
    breaches = []
    for folder, allowed in FLOORS.items():
        for path in sources(source_dir, folder):
            with open(os.path.join(source_dir, path), encoding='utf-8', errors='replace') as f:
                text = f.read()
            for target, header in INCLUDE.findall(text):
                ok = target == folder or target in allowed
                if not ok:
                    breaches.append(f'{path} includes {target}/{header}.h')
    return breaches


OBJECT = re.compile(r'/([a-z]+)/CMakeFiles/[^/]+/((?:[A-Za-z0-9_]+/)*[A-Za-z0-9_]+)\.(cpp|c)\.obj$')


def object_files(source_dir, object_dir):
    """(folder/stem, path) of every object file of the programs' code. An object whose source is
    gone (a file moved since the build folder last built it) is left out: it links nowhere."""
    found = []
    for root, _, files in os.walk(object_dir):
        for name in files:
            path = os.path.join(root, name).replace(os.sep, '/')
            m = OBJECT.search(path)
            if not m or m.group(1) not in FLOORS:
                continue
            unit = f'{m.group(1)}/{m.group(2)}'
            if os.path.exists(os.path.join(source_dir, f'{unit}.{m.group(3)}')):
                found.append((unit, path))
    return found


def missing_objects(source_dir, object_dir, units):
    """Why the build folder cannot vouch for this tree: it is not there, or a source has no object."""
    if not os.path.isdir(object_dir):
        return [f'the build folder {object_dir} does not exist']
    if not units:
        return [f'the build folder {object_dir} holds no object of the programs']
    built = {unit for unit, _ in units}
    return [f'{path} has no object in the build folder' for folder in FLOORS for path in sources(source_dir, folder)
            if not path.endswith('.h') and path.rsplit('.', 1)[0] not in built]


def module_of(unit, units):
    """The module a file belongs to: itself, or the file whose name and a role word make its name."""
    folder, stem = unit.rsplit('/', 1)
    best = stem
    for other in units:
        other_folder, other_stem = other.rsplit('/', 1)
        if other_folder == folder and other_stem != stem and stem.startswith(other_stem):
            role = stem[len(other_stem):]
            if role[0].isupper() and len(other_stem) < len(best):
                best = other_stem
    return f'{folder}/{best}'


def circle_breaches(source_dir, object_dir, nm):
    units = object_files(source_dir, object_dir)
    missing = missing_objects(source_dir, object_dir, units)
    if missing:
        return missing
    defined = collections.defaultdict(set)
    used = {}
    for unit, path in units:
        out = subprocess.run([nm, path], capture_output=True, text=True, check=True).stdout
        used[unit] = set()
        for line in out.splitlines():
            parts = line.split()
            if len(parts) == 2 and parts[0] == 'U':
                used[unit].add(parts[1])
            elif len(parts) == 3 and parts[1] in 'TDBR':
                defined[parts[2]].add(unit)
    graph = collections.defaultdict(set)
    for unit, symbols in used.items():
        # A function or table used from another file is an edge, whether it is called or its address
        # is taken: a call through a pointer table runs to whatever the table's owner put there.
        for symbol in symbols:
            owners = defined.get(symbol, set())
            if len(owners) == 1 and unit not in owners:
                graph[unit] |= owners
    names = sorted(used)
    modules = {unit: module_of(unit, names) for unit in names}

    # Tarjan's strongly connected components, without recursion.
    index, low, on_stack, stack, components = {}, {}, set(), [], []
    for start in names:
        if start in index:
            continue
        work = [(start, iter(sorted(graph[start])))]
        index[start] = low[start] = len(index)
        stack.append(start)
        on_stack.add(start)
        while work:
            node, edges = work[-1]
            advanced = False
            for nxt in edges:
                if nxt not in index:
                    index[nxt] = low[nxt] = len(index)
                    stack.append(nxt)
                    on_stack.add(nxt)
                    work.append((nxt, iter(sorted(graph[nxt]))))
                    advanced = True
                    break
                if nxt in on_stack:
                    low[node] = min(low[node], index[nxt])
            if advanced:
                continue
            work.pop()
            if work:
                low[work[-1][0]] = min(low[work[-1][0]], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                components.append(sorted(component))
    breaches = [f'a circle runs through {", ".join(c)}' for c in components if len({modules[u] for u in c}) > 1]
    # A call that runs up: into a folder that the caller's floor does not list.
    for unit in names:
        folder = unit.split('/')[0]
        for target in sorted(graph[unit]):
            target_folder = target.split('/')[0]
            if target_folder != folder and target_folder not in FLOORS[folder]:
                breaches.append(f'{unit} calls up into {target}')
    return breaches


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    breaches = unlisted_folders(sys.argv[1]) + include_breaches(sys.argv[1]) + name_breaches(sys.argv[1])
    if len(sys.argv) == 3:
        nm = os.environ.get('ILATCH_NM', 'x86_64-w64-mingw32-nm')
        breaches += circle_breaches(sys.argv[1], sys.argv[2], nm)
    for breach in breaches:
        print(breach)
    sys.exit(1 if breaches else 0)


if __name__ == '__main__':
    main()
