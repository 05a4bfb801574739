# The program's version in one place: the project version, generated into QuarnixVersion.h for both
# executables (--version) and used by the AppStream metadata and the package.
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuarnixVersion.h.in ${CMAKE_BINARY_DIR}/generated/QuarnixVersion.h @ONLY)
add_library(quarnix_version INTERFACE)
target_include_directories(quarnix_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
# The date of this version's release, for the AppStream metadata.
set(QUARNIX_RELEASE_DATE 2026-12-10)
