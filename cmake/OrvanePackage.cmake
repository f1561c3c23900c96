# A Debian package of everything the install rules put in place: cpack -G DEB.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME orvane-notepad)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "notepad that reads a video script aloud and types it back")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"notepad that reads a video script aloud and types it back
 A small notepad for people who record tutorial videos. It reads the script
 aloud with espeak-ng, types it into its window at a steady pace for
 screencasts, and captures an area of the screen, each started from a button
 or a global hot key (Ctrl+A, Ctrl+Z, Ctrl+Q). Scripts may be GBK, UTF-8 or
 UTF-16 text files.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Orvane <packages@orvane.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION editors)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://www.orvane.example/")
# Libraries from the binaries (dpkg-shlibdeps); espeak-ng's voices are data; libcurl
# and libsndfile are opened by soname when first needed, so no binary names them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "espeak-ng-data, libcurl4, libsndfile1")
# qt6-wayland: the native window on Wayland sessions (XWayland otherwise).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-arphic-uming, qt6-translations-l10n, qt6-wayland")
include(CPack)
