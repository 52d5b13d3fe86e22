#!/usr/bin/env python3
"""The owners check against small source trees: each case is a few files in the folders of the
real layout and the breaches the check must print (none for a sound tree), as path:line and the
closing function named.

  check_owners_test.py CHECK_SCRIPT
"""
import os
import re
import subprocess
import sys
import tempfile
import unittest

CHECK = sys.argv[1] if len(sys.argv) > 1 else ''

# The closing functions no code outside platform/ may call, one line each in the file below.
REFUSED = ['CloseHandle', 'RegCloseKey', 'LocalFree', 'FreeLibrary', 'CryptReleaseContext', 'CryptDestroyHash',
           'CryptDestroyKey', 'CertFreeCertificateContext', 'CertFreeCertificateChain', 'CertCloseStore',
           'FindClose', 'FreeSid', 'UnmapViewOfFile', 'CoTaskMemFree', 'ReleaseDC', 'FreeCredentialsHandle',
           'DeleteSecurityContext']
EVERY_CLOSE = ''.join(f'void Drop{i}(void* h) {{ {name}(h); }}\n' for i, name in enumerate(REFUSED))

CASES = [
    ('a raw CloseHandle outside platform/', {
        'engine/Worker.cpp': '#include <windows.h>\nvoid Start() {\n  HANDLE t = CreateThread(0, 0, 0, 0, 0, 0);\n'
                             '  CloseHandle(t);\n}\n',
    }, ['engine/Worker.cpp:4: CloseHandle']),
    ('every closing function of an owned kind', {
        'common/Drops.cpp': EVERY_CLOSE,
    }, [f'common/Drops.cpp:{i + 1}: {name}' for i, name in enumerate(REFUSED)]),
    ('platform/ holds the owners and may close', {
        'platform/Handle.h': 'struct KernelHandleTraits {\n  static BOOL Close(HANDLE h) { return CloseHandle(h); }\n};\n',
        'platform/Cert.cpp': 'void Free(const void* c) { CertFreeCertificateContext(c); }\n',
    }, []),
    ('a scope, a blank before the parenthesis, an address taken for a deleter', {
        'ui/Window.cpp': 'void A(HANDLE h) { ::CloseHandle (h); }\n'
                         'using Deleter = decltype(&LocalFree);\n'
                         'auto drop = &RegCloseKey;\n',
    }, ['ui/Window.cpp:1: CloseHandle', 'ui/Window.cpp:2: LocalFree', 'ui/Window.cpp:3: RegCloseKey']),
    ('comments, literals and members of the same name do not count', {
        'update/Notes.cpp': '// CloseHandle(h) is the owner\'s to call\n'
                            '/* FreeLibrary(m);\n   LocalFree(p); */\n'
                            'const wchar_t* kText = L"RegCloseKey(key)";\n'
                            'const char kQuote = \'"\'; const char* kMore = "FindClose(f)";\n'
                            'void A(Owner& o, Owner* p) { o.CloseHandle(); p->FreeLibrary(); p-> LocalFree(); }\n'
                            'void B() { MyCloseHandle(0); FreeLibraryLater(0); }\n',
    }, []),
    ('a call after a comment of several lines keeps its line', {
        'alerts/Late.cpp': '/* one\n   two\n   three */ int x;\nvoid A(HKEY k) {\n  RegCloseKey(k);\n}\n',
    }, ['alerts/Late.cpp:5: RegCloseKey']),
    ('a folder no table lists is read too, the tests and benchmarks are not', {
        'extra/Tool.cpp': 'void T(HMODULE m) { FreeLibrary(m); }\n',
        'tests/ToolTest.cpp': 'void U(HANDLE h) { CloseHandle(h); }\n',
        'bench/ToolBench.cpp': 'void V(HANDLE h) { CloseHandle(h); }\n',
    }, ['extra/Tool.cpp:1: FreeLibrary']),
    ('a build folder inside the tree is not read', {
        'build/x64/CMakeCache.txt': '',
        'build/x64/generated/Rules.cpp': 'void W(HANDLE h) { CloseHandle(h); }\n',
        'engine/Rules.cpp': 'int Rules() { return 1; }\n',
    }, []),
    ('a tree without sources', {
        'README.md': 'nothing to read\n',
    }, ['{root} holds no sources of the programs']),
]

BREACH = re.compile(r'^(\S+:\d+): (\w+) outside platform/: its owner is \S')
SUMMARY = re.compile(r'^\d+ raw close\(s\) outside platform/$')


def build_tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'w') as f:
            f.write(text)


def printed(stdout):
    """The breaches as path:line and function, every other line but the count as it stands."""
    lines = []
    for line in stdout.splitlines():
        m = BREACH.match(line)
        if m:
            lines.append(f'{m.group(1)}: {m.group(2)}')
        elif line and not SUMMARY.match(line):
            lines.append(line)
    return sorted(lines)


class OwnersCheckTest(unittest.TestCase):
    def test_cases(self):
        for title, files, expected in CASES:
            with self.subTest(title), tempfile.TemporaryDirectory() as root:
                build_tree(root, files)
                run = subprocess.run([sys.executable, CHECK, root], capture_output=True, text=True)
                self.assertEqual(printed(run.stdout), sorted(line.format(root=root) for line in expected), run.stderr)
                self.assertEqual(run.returncode, 1 if expected else 0)


if __name__ == '__main__':
    unittest.main(argv=sys.argv[:1])
