#!/usr/bin/env python3
"""The floors check against small source trees compiled here: each case is a few files in the
folders of the real layout, built with the cross compiler into the object folders CMake would use,
and the breaches the check must print (none for a sound tree).

  check_floors_test.py CHECK_SCRIPT   (ILATCH_CXX: the C++ compiler, ILATCH_NM: its nm)
"""
import os
import subprocess
import sys
import tempfile
import unittest

CHECK = sys.argv[1] if len(sys.argv) > 1 else ''
CXX = os.environ.get('ILATCH_CXX', 'x86_64-w64-mingw32-g++')

# Files are {path: text}; a .cpp is compiled unless it lies under 'gone/' (then only its object is
# made, as a build folder keeps the object of a file that has since moved away) or under 'unbuilt/'
# (then only the source is there, as in a build folder not built since the source came). A case's
# fourth item, when there is one, is the build folder handed to the check in place of the real one.
CASES = [
    ('a call down to a lower floor', {
        'engine/Rules.cpp': 'int Rules() { return 1; }\n',
        'ui/Window.cpp': 'int Rules();\nint Window() { return Rules(); }\n',
    }, []),
    ('the files of one module call each other', {
        'ui/Form1.cpp': 'int Menus();\nint Form1() { return Menus(); }\n',
        'ui/Form1Menus.cpp': 'int Form1();\nint Menus() { return Form1() + 1; }\n',
    }, []),
    ('an include that runs up', {
        'ui/Window.h': 'int Window();\n',
        'engine/Rules.cpp': '#include "ui/Window.h"\nint Rules() { return 1; }\n',
    }, ['engine/Rules.cpp includes ui/Window.h']),
    ('a call that runs up without an include', {
        'engine/Rules.cpp': 'int Update();\nint Rules() { return Update(); }\n',
        'update/Update.cpp': 'int Update() { return 2; }\n',
    }, ['engine/Rules calls up into update/Update']),
    ('a call up through a table of function pointers bound above', {
        'engine/Road.cpp': 'struct Upper { int (*show)(); };\nextern const Upper kUpper;\n'
                           'int Road() { return kUpper.show(); }\n',
        'app/Bind.cpp': 'struct Upper { int (*show)(); };\nint Show();\nextern const Upper kUpper;\n'
                        'const Upper kUpper = {Show};\n',
        'ui/Window.cpp': 'int Road();\nint Show() { return Road(); }\n',
    }, ['a circle runs through app/Bind, engine/Road, ui/Window', 'engine/Road calls up into app/Bind']),
    ('a circle between two modules of one floor', {
        'update/Form7.cpp': 'int CreateTask();\nint Form7() { return CreateTask(); }\n',
        'update/Tasks.cpp': 'int Form7();\nint CreateTask() { return Form7(); }\n',
    }, ['a circle runs through update/Form7, update/Tasks']),
    ('the alert windows stand beside the engine: neither includes nor calls it', {
        'engine/Rules.h': 'int Rules();\n',
        'engine/Rules.cpp': 'int Rules() { return 1; }\n',
        'alerts/Form9.cpp': '#include "engine/Rules.h"\nint Form9() { return Rules(); }\n',
    }, ['alerts/Form9.cpp includes engine/Rules.h', 'alerts/Form9 calls up into engine/Rules']),
    ('a header named like a source of another folder', {
        'engine/Module1.h': 'int Policy();\n',
        'engine/Module1Policy.cpp': 'int Policy() { return 1; }\n',
        'app/Module1.cpp': 'int Main() { return 0; }\n',
        'ui/Form1.h': 'int Form1();\n',
        'ui/Form1.cpp': 'int Form1() { return 1; }\n',
    }, ['engine/Module1.h is named like app/Module1.cpp']),
    ('the object of a file moved away is not counted', {
        'update/Update.cpp': 'int Update() { return 2; }\n',
        'gone/engine/Old.cpp': 'int Update();\nint Old() { return Update(); }\n',
    }, []),
    ('a small program the main program carries, in a folder of its own', {
        'common/Names.h': 'int Names();\n',
        'common/Names.cpp': 'int Names() { return 3; }\n',
        'resources/helper/Helper.cpp': '#include "common/Names.h"\nint Helper() { return Names(); }\n',
    }, []),
    ('a folder of sources that the table does not list', {
        'update/Update.cpp': 'int Update() { return 2; }\n',
        'extra/Tool.cpp': 'int Tool() { return 4; }\n',
    }, ['extra/ holds sources but has no floor in the table']),
    ('a source without its object', {
        'update/Update.cpp': 'int Update() { return 2; }\n',
        'unbuilt/engine/Rules.cpp': 'int Update();\nint Rules() { return Update(); }\n',
    }, ['engine/Rules.cpp has no object in the build folder']),
    ('a build folder that is not there', {
        'engine/Rules.cpp': 'int Rules() { return 1; }\n',
    }, ['the build folder {root}/missing does not exist'], 'missing'),
    ('a build folder without the programs\' objects', {
        'unbuilt/engine/Rules.cpp': 'int Rules() { return 1; }\n',
        'tests/RulesTest.cpp': 'int RulesTest() { return 0; }\n',
    }, ['the build folder {root}/build holds no object of the programs'], 'build'),
]


def build_tree(root, files):
    os.makedirs(os.path.join(root, 'build'))
    for path, text in files.items():
        kind, _, rest = path.partition('/')
        real = rest if kind in ('gone', 'unbuilt') else path
        source = os.path.join(root, 'src', real)
        os.makedirs(os.path.dirname(source), exist_ok=True)
        with open(source, 'w') as f:
            f.write(text)
        if real.endswith('.cpp') and kind != 'unbuilt':
            folder, name = real.split('/', 1)
            objects = os.path.join(root, 'build', folder, 'CMakeFiles', f'il{folder}.dir')
            os.makedirs(os.path.dirname(os.path.join(objects, name)), exist_ok=True)
            subprocess.run([CXX, '-c', '-O0', '-I', os.path.join(root, 'src'), source, '-o',
                            os.path.join(objects, name + '.obj')], check=True)
        if path.startswith('gone/'):
            os.remove(source)


class FloorsCheckTest(unittest.TestCase):
    def test_cases(self):
        for title, files, expected, *build in CASES:
            with self.subTest(title), tempfile.TemporaryDirectory() as root:
                build_tree(root, files)
                objects = os.path.join(root, build[0] if build else 'build')
                run = subprocess.run([sys.executable, CHECK, os.path.join(root, 'src'), objects],
                                     capture_output=True, text=True)
                printed = sorted(line for line in run.stdout.splitlines() if line)
                self.assertEqual(printed, sorted(line.format(root=root) for line in expected), run.stderr)
                self.assertEqual(run.returncode, 1 if expected else 0)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
