# The program's identity in one place, generated into QuarnixVersion.h for both executables (--version,
# the desktop file name) and used by the launcher entry, the AppStream metadata, the man pages and the
# package:
#   - the version is the project version of CMakeLists.txt;
#   - the release date of this version (AppStream, man pages);
#   - the application id, which names the launcher entry (<id>.desktop) and the AppStream component.
set(QUARNIX_RELEASE_DATE 2026-12-10)
set(QUARNIX_APP_ID io.github.quarnix.Quarnix)
configure_file(${CMAKE_CURRENT_LIST_DIR}/QuarnixVersion.h.in ${CMAKE_BINARY_DIR}/generated/QuarnixVersion.h @ONLY)
add_library(quarnix_version INTERFACE)
target_include_directories(quarnix_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
