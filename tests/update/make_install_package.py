"""Writes the program package of the install tests: one program stored as the main program."""
import os
import sys
import zipfile

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from product_names import MAIN_PROGRAM  # noqa: E402

target, program = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as package:
    package.write(program, MAIN_PROGRAM)
