# The maker's key for update signatures. ILATCH_UPDATE_PUBLIC_KEY names the maker's public key (a
# PEM file, RSA of 3072 bits or more); left empty, a key pair is made once in ILATCH_SIGNING_DIR
# and its private half signs the test packages (scripts/sign-update.sh signs any file with it).
# The public key's DER bytes are compiled into the programs.
set(ILATCH_UPDATE_PUBLIC_KEY "" CACHE FILEPATH "The maker's public key (PEM) that updates are signed with")
set(ILATCH_SIGNING_DIR ${CMAKE_BINARY_DIR}/signing CACHE PATH "Where the build's own signing key pair is kept")
find_program(ILATCH_OPENSSL NAMES openssl REQUIRED)

function(ilatch_openssl)
  execute_process(COMMAND ${ILATCH_OPENSSL} ${ARGN} RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "openssl ${ARGN} failed: ${err}")
  endif()
endfunction()

# A 3072-bit key pair, made once.
function(ilatch_key_pair pem)
  if(NOT EXISTS ${pem})
    get_filename_component(dir ${pem} DIRECTORY)
    file(MAKE_DIRECTORY ${dir})
    ilatch_openssl(genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:3072 -out ${pem})
  endif()
endfunction()

set(ILATCH_UPDATE_PRIVATE_KEY "")
set(_generated ${CMAKE_BINARY_DIR}/generated)
file(MAKE_DIRECTORY ${_generated})
if(ILATCH_UPDATE_PUBLIC_KEY)
  # The tests sign their own packages, which needs the private half: they are not built.
  set(ILATCH_TESTS OFF)
  message(STATUS "Updates are checked against ${ILATCH_UPDATE_PUBLIC_KEY}; the tests are not built")
  ilatch_openssl(pkey -pubin -in ${ILATCH_UPDATE_PUBLIC_KEY} -pubout -outform DER -out ${_generated}/maker-key.der)
else()
  set(ILATCH_UPDATE_PRIVATE_KEY ${ILATCH_SIGNING_DIR}/update-signing-key.pem)
  ilatch_key_pair(${ILATCH_UPDATE_PRIVATE_KEY})
  ilatch_openssl(pkey -in ${ILATCH_UPDATE_PRIVATE_KEY} -pubout -outform DER -out ${_generated}/maker-key.der)
endif()

execute_process(COMMAND ${ILATCH_OPENSSL} pkey -pubin -inform DER -in ${_generated}/maker-key.der -noout -text
                OUTPUT_VARIABLE _key_text RESULT_VARIABLE _rc)
string(REGEX MATCH "Public-Key: \\(([0-9]+) bit\\)" _bits_match "${_key_text}")
if(NOT _rc EQUAL 0 OR NOT CMAKE_MATCH_1 OR CMAKE_MATCH_1 LESS 3072)
  message(FATAL_ERROR "The update signing key must be an RSA key of 3072 bits or more")
endif()

file(READ ${_generated}/maker-key.der _hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," _bytes "${_hex}")
file(CONFIGURE OUTPUT ${_generated}/MakerPublicKey.cpp CONTENT
"// Written by the build from the update signing key; do not edit.
#include \"update/MakerPublicKey.h\"

namespace MakerPublicKey {
const unsigned char kBytes[] = {${_bytes}};
const size_t kSize = sizeof kBytes;
}  // namespace MakerPublicKey
" @ONLY)
set(ILATCH_MAKER_KEY_SOURCE ${_generated}/MakerPublicKey.cpp)
