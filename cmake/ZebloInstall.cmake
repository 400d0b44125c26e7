# Where an installed ZEBLO lives (GNUInstallDirs, so PREFIX and DESTDIR work as usual) and the
# Debian package made from that tree: `make package` or `cpack -G DEB` in the build folder.
include(GNUInstallDirs)

set(ZEBLO_RELEASE_DATE 2026-12-07)
set(desktop ${PROJECT_SOURCE_DIR}/resources/desktop)

# The converter library sits in a folder of its own; the programs find it through their run path.
file(RELATIVE_PATH bin_to_private_lib ${CMAKE_INSTALL_FULL_BINDIR}
  ${CMAKE_INSTALL_FULL_LIBDIR}/zeblo)
set_target_properties(zeblo zeblo-cli PROPERTIES INSTALL_RPATH "$ORIGIN/${bin_to_private_lib}")
install(TARGETS zeblo zeblo-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET rcpcv)
  install(TARGETS rcpcv LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zeblo)
endif()
# zeblo-cli's encoder library beside the converter, its sound program in libexec; it looks for
# them there, relative to itself, after its own folder.
file(RELATIVE_PATH bin_to_libexec ${CMAKE_INSTALL_FULL_BINDIR}
  ${CMAKE_INSTALL_FULL_LIBEXECDIR}/zeblo)
file(RELATIVE_PATH libexec_to_private_lib ${CMAKE_INSTALL_FULL_LIBEXECDIR}/zeblo
  ${CMAKE_INSTALL_FULL_LIBDIR}/zeblo)
target_compile_definitions(zeblo_cli PRIVATE ZEBLO_MODULES_FROM_BIN="${bin_to_private_lib}"
  ZEBLO_LIBEXEC_FROM_BIN="${bin_to_libexec}")
set_target_properties(zeblo-cli-play PROPERTIES
  INSTALL_RPATH "$ORIGIN/${libexec_to_private_lib}")
# Built with the run path they install with: the build tree's own is empty, padded with empty
# entries that would make the loader search the current folder for every library.
set_target_properties(zeblo-cli zeblo-cli-play PROPERTIES BUILD_WITH_INSTALL_RPATH ON)
install(TARGETS zeblo-encode LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}/zeblo)
install(TARGETS zeblo-cli-play RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/zeblo)

install(FILES ${desktop}/org.zeblo.Zeblo.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
configure_file(${desktop}/org.zeblo.Zeblo.metainfo.xml.in
  ${PROJECT_BINARY_DIR}/org.zeblo.Zeblo.metainfo.xml @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/org.zeblo.Zeblo.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${desktop}/org.zeblo.Zeblo-rcp.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages
  RENAME org.zeblo.Zeblo.xml)
install(DIRECTORY ${ZEBLO_ICON_DIR}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
install(FILES ${PROJECT_SOURCE_DIR}/docs/man/zeblo.1 ${PROJECT_SOURCE_DIR}/docs/man/zeblo-cli.1
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${desktop}/zeblo-cli.bash
  DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME zeblo-cli)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME zeblo)
set(CPACK_PACKAGE_VENDOR "The ZEBLO developers")
set(CPACK_PACKAGE_CONTACT "The ZEBLO developers <zeblo@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MIDI file player that is its own synthesizer")
set(CPACK_PACKAGE_DESCRIPTION
  "ZEBLO plays Standard MIDI Files and RCP-family songs through a chiptune wavetable module
and an FM module of five emulated OPLL chips, in a window or on the command line
(zeblo-cli), and renders songs to WAV files.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://zeblo.example.org)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Beyond the linked libraries: the toolkit's window-system plugins and the fonts of the messages.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-vlgothic")
include(CPack)
