# The program's version, from project() in the top CMakeLists.txt and nowhere else. Everything
# that shows a version takes it from here: the generated header (help box, version resource,
# manifest), klavix-version.txt (the release script: file names, installer, Apps & features).
#
# KLAVIX_VERSION_OVERRIDE builds the same code as another version (X.Y.Z); the installer's
# upgrade test uses it to make a "next" release.
set(KLAVIX_VERSION_OVERRIDE "" CACHE STRING "Build as version X.Y.Z instead of the project's")

if(KLAVIX_VERSION_OVERRIDE)
  set(klavix_version ${KLAVIX_VERSION_OVERRIDE})
else()
  set(klavix_version ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH})
endif()
if(NOT klavix_version MATCHES "^([0-9]+)\\.([0-9]+)\\.([0-9]+)$")
  message(FATAL_ERROR "version '${klavix_version}' is not of the form X.Y.Z")
endif()
set(KLAVIX_VERSION_MAJOR ${CMAKE_MATCH_1})
set(KLAVIX_VERSION_MINOR ${CMAKE_MATCH_2})
set(KLAVIX_VERSION_PATCH ${CMAKE_MATCH_3})
foreach(part MAJOR MINOR PATCH)
  # Leading zeros would make "0.01" and "0.1" two names of one version.
  if(KLAVIX_VERSION_${part} GREATER 65535 OR KLAVIX_VERSION_${part} MATCHES "^0[0-9]")
    message(FATAL_ERROR "version '${klavix_version}': each part is 0 to 65535, no leading zeros")
  endif()
endforeach()

# What people read: "0.1" for 0.1.0, "0.1.2" for 0.1.2. The same text is the file names', the
# installer's and Apps & features'; the numeric fields of the version resource carry all parts.
if(KLAVIX_VERSION_PATCH EQUAL 0)
  set(KLAVIX_VERSION_TEXT ${KLAVIX_VERSION_MAJOR}.${KLAVIX_VERSION_MINOR})
else()
  set(KLAVIX_VERSION_TEXT ${KLAVIX_VERSION_MAJOR}.${KLAVIX_VERSION_MINOR}.${KLAVIX_VERSION_PATCH})
endif()

set(KLAVIX_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/klavix_version.h.in ${KLAVIX_GENERATED_DIR}/klavix_version.h @ONLY)
file(WRITE ${CMAKE_BINARY_DIR}/klavix-version.txt.new "${KLAVIX_VERSION_TEXT}\n")
file(COPY_FILE ${CMAKE_BINARY_DIR}/klavix-version.txt.new ${CMAKE_BINARY_DIR}/klavix-version.txt ONLY_IF_DIFFERENT)
file(REMOVE ${CMAKE_BINARY_DIR}/klavix-version.txt.new)
