# Install rules: the program, its four bundled libraries in a private folder that
# the program opens by absolute path (beside its real location), and the desktop
# integration files. The program has no run-path: none is needed, and the padding
# CMake would leave in the build tree's binary for an install-time rewrite reads as
# the current folder to the loader.
include(GNUInstallDirs)

set(ORVANE_APP_ID example.orvane.Notepad)
# Fixed rather than CMAKE_INSTALL_LIBDIR: the program looks for ../lib/orvane-notepad.
set(ORVANE_LIBRARY_DIR lib/orvane-notepad)
set(data ${PROJECT_SOURCE_DIR}/data)

install(TARGETS orvane-notepad RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
foreach(library bass speex msc capture)
  install(TARGETS ${library} LIBRARY DESTINATION ${ORVANE_LIBRARY_DIR} NAMELINK_SKIP)
endforeach()

install(FILES ${data}/${ORVANE_APP_ID}.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${data}/${ORVANE_APP_ID}.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${data}/icons/${ORVANE_APP_ID}.svg
  DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(size 16 22 24 32 48 64 128 256)
  install(FILES ${data}/icons/${ORVANE_APP_ID}-${size}.png
    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
    RENAME ${ORVANE_APP_ID}.png)
endforeach()

# Man pages are installed compressed, as Debian expects.
set(man_page ${CMAKE_CURRENT_BINARY_DIR}/orvane-notepad.1.gz)
add_custom_command(OUTPUT ${man_page}
  COMMAND gzip -9nc ${data}/orvane-notepad.1 > ${man_page}
  DEPENDS ${data}/orvane-notepad.1 VERBATIM)
add_custom_target(man_page ALL DEPENDS ${man_page})
install(FILES ${man_page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
