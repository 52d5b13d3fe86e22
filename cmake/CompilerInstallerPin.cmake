# Writes the source that pins the compiler installer's digest: DIGEST as given, or, with FILE, the
# SHA-256 of that file (the tests' stand-in, known only once it is built). Run with cmake -P.
if(FILE)
  file(SHA256 ${FILE} DIGEST)
endif()
string(TOLOWER "${DIGEST}" DIGEST)
set(_text "// Written by the build; do not edit.
#include \"engine/CompilerInstallerPin.h\"

namespace CompilerInstallerPin {
extern const wchar_t kSha256[] = L\"${DIGEST}\";
}  // namespace CompilerInstallerPin
")
# Rewritten only when it changes, so an unchanged pin compiles nothing again.
if(EXISTS ${OUTPUT})
  file(READ ${OUTPUT} _old)
endif()
if(NOT _old STREQUAL _text)
  file(WRITE ${OUTPUT} "${_text}")
endif()
