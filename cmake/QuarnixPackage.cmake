# `make package` (the `package` target): a Debian package of the install layout, installed into /usr.
# The shared-library dependencies (Qt 6, the FFmpeg libraries) are found by dpkg-shlibdeps; the run-time
# needs that no library names are listed by hand: xdg-open for opening folders and the help page, and a
# font with Japanese glyphs for the Japanese language pack.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarnix)
set(CPACK_PACKAGE_VENDOR "Quarnix developers")
set(CPACK_PACKAGE_CONTACT "Quarnix developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_DESCRIPTION
    "Quarnix turns video files 90, 180 or 270 degrees clockwise, many at a time, by copying every audio and video stream into a new file marked as rotated. It has a desktop window and a command-line program, quarnix-cli.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xdg-utils, fonts-ipafont-gothic | fonts-noto-cjk | fonts-vlgothic")
# Qt's own dialog texts (the file dialog's buttons) in the chosen language; without them they stay English.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
set(CPACK_STRIP_FILES ON)
include(CPack)
