"""Writes the program package of the install tests: one program stored as "Ironlatch.exe"."""
import sys
import zipfile

target, program = sys.argv[1], sys.argv[2]
with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as package:
    package.write(program, "Ironlatch.exe")
