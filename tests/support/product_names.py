"""The maker's and the product's names for the tests' Python helpers, read from ProductState.h
beside this file: the one place the tests spell them."""
import os
import re


def _defined(macro):
    header = os.path.join(os.path.dirname(os.path.abspath(__file__)), "ProductState.h")
    with open(header, encoding="utf-8") as f:
        found = re.search(r'^#define %s "([^"]+)"$' % re.escape(macro), f.read(), re.MULTILINE)
    if not found:
        raise RuntimeError("%s: no #define of %s" % (header, macro))
    return found.group(1)


MAKER = _defined("TESTSUPPORT_MAKER_")
PRODUCT = _defined("TESTSUPPORT_PRODUCT_")
MAIN_PROGRAM = PRODUCT + ".exe"
# The program's own account on the update server.
UPDATE_USER = PRODUCT + "User"
