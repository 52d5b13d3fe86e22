"""What the source checks share: the programs' source files in the tree, and the parts of a C++ or
resource source that are code, comments and literals.
"""
import os
import sys

# Sources that are not the programs' code: the tests and the benchmarks.
OUTSIDE = {'tests', 'bench'}
CODE_ENDINGS = ('.cpp', '.c', '.h')


def sources(source_dir, folder, endings=CODE_ENDINGS):
    """The source files of a top-level folder, as paths below the source folder, sorted."""
    found = []
    for root, dirs, files in os.walk(os.path.join(source_dir, folder)):
        dirs.sort()
        for name in sorted(files):
            if name.endswith(endings):
                found.append(os.path.relpath(os.path.join(root, name), source_dir).replace(os.sep, '/'))
    return found


def is_build_folder(path):
    """A CMake build folder (with its generated sources) inside the source tree: never read."""
    for root, dirs, files in os.walk(path):
        if 'CMakeCache.txt' in files:
            return True
        if os.path.relpath(root, path).count(os.sep) >= 1:
            dirs[:] = []
    return False


def program_folders(source_dir):
    """Every top-level folder that may hold the programs' sources: all but hidden ones, build
    folders and the folders outside the programs, whether a table lists them or not."""
    return [name for name in sorted(os.listdir(source_dir))
            if not name.startswith('.') and name not in OUTSIDE and os.path.isdir(os.path.join(source_dir, name))
            and not is_build_folder(os.path.join(source_dir, name))]


def _pieces(text):
    """(kind, start, end, body) of each comment and literal in order: kind 'comment' or 'literal',
    the piece from start to end and, for a literal, its text between the quotes (a literal the line
    ends before its closing quote runs to the line's end)."""
    i, n = 0, len(text)
    while i < n:
        if text.startswith('//', i):
            end = text.find('\n', i)
            end = n if end < 0 else end
            yield 'comment', i, end, None
            i = end
        elif text.startswith('/*', i):
            end = text.find('*/', i + 2)
            end = n if end < 0 else end + 2
            yield 'comment', i, end, None
            i = end
        elif text[i] in '"\'':
            j = i + 1
            while j < n and text[j] != text[i] and text[j] != '\n':
                j += 2 if text[j] == '\\' else 1
            closed = j < n and text[j] == text[i]
            yield 'literal', i, j + 1 if closed else min(j, n), text[i + 1:j]
            i = j + 1
        else:
            i += 1


def literals(text):
    """(line number, line, literal) for each string or character literal outside comments."""
    found = []
    for kind, start, _, body in _pieces(text):
        if kind != 'literal':
            continue
        line_start = text.rfind('\n', 0, start) + 1
        line_end = text.find('\n', start)
        found.append((text.count('\n', 0, start) + 1, text[line_start:line_end if line_end >= 0 else len(text)], body))
    return found


def code(text):
    """The text with every comment and literal blanked out, its line breaks kept where they were."""
    parts, at = [], 0
    for _, start, end, _ in _pieces(text):
        parts.append(text[at:start])
        parts.append(''.join(c if c == '\n' else ' ' for c in text[start:end]))
        at = end
    parts.append(text[at:])
    return ''.join(parts)


def run_check(doc, breaches, counted):
    """A check's run over the source folder named on its command line: every breach on a line of
    its own, then how many there were ("N " and counted); 1 when there was one."""
    if len(sys.argv) != 2:
        sys.exit(doc)
    found = breaches(sys.argv[1])
    for breach in found:
        print(breach)
    print(f'{len(found)} {counted}')
    return 1 if found else 0
