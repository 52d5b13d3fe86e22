# The maker's and the product's names for the build: the programs' and the event-message library's
# target and file names, the version blocks, the manifests and the generated registry exports.
# They are read from platform/ProductName.h, where code, resource scripts and build find them
# spelled once.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../platform/ProductName.h _ilatch_name_lines
     REGEX "^#define ILATCH_[A-Z_]+ ILATCH_NAME_\\(\"[^\"]*\"\\)$")
foreach(_line IN LISTS _ilatch_name_lines)
  string(REGEX REPLACE "^#define (ILATCH_[A-Z_]+) ILATCH_NAME_\\(\"([^\"]*)\"\\)$" "\\1" _name "${_line}")
  string(REGEX REPLACE "^#define (ILATCH_[A-Z_]+) ILATCH_NAME_\\(\"([^\"]*)\"\\)$" "\\2" _value "${_line}")
  set(${_name} "${_value}")
endforeach()
foreach(_needed ILATCH_MAKER_NAME ILATCH_MAKER_SHORT_NAME ILATCH_PRODUCT_NAME ILATCH_PROTECTION_NAME)
  if(NOT DEFINED ${_needed} OR "${${_needed}}" STREQUAL "")
    message(FATAL_ERROR "platform/ProductName.h gives no ${_needed}")
  endif()
endforeach()

# The three programs and the message file beside them (targets, and file names without ending).
set(ILATCH_MAIN_PROGRAM ${ILATCH_PRODUCT_NAME})
set(ILATCH_FILTERMOD_PROGRAM ${ILATCH_PRODUCT_NAME}FilterMod)
set(ILATCH_SERVICE_PROGRAM ${ILATCH_PRODUCT_NAME}EventSvc)
set(ILATCH_EVENT_MESSAGE_DLL ${ILATCH_MAKER_SHORT_NAME}EventLogMsgHelper)
# The maker's part of the manifests' assembly names, which hold no blanks.
string(REPLACE " " "" ILATCH_MANIFEST_MAKER "${ILATCH_MAKER_NAME}")
# A name changed there configures the build anew.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/../platform/ProductName.h)
