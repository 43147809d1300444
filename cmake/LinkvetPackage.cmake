# SPDX-License-Identifier: GPL-3.0-or-later
# What a Linux desktop needs besides the two programs (their own install rules
# are beside their targets in src/), and the Debian package made of it all.

# The desktop entry and the icon it names.
install(FILES ${PROJECT_SOURCE_DIR}/res/linkvet.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/res/icons/linkvet.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
foreach(_size 16 32 48 64 128 256)
  install(FILES ${PROJECT_SOURCE_DIR}/res/icons/linkvet-${_size}.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}x${_size}/apps
          RENAME linkvet.png)
endforeach()

# The manual page carries the project's version and ships gzipped, as Debian's
# policy has it (-n keeps the file's bytes the same from build to build).
configure_file(${PROJECT_SOURCE_DIR}/res/linkvet-cli.1 ${PROJECT_BINARY_DIR}/linkvet-cli.1 @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/linkvet-cli.1.gz
  COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/linkvet-cli.1
  DEPENDS ${PROJECT_BINARY_DIR}/linkvet-cli.1
  VERBATIM)
add_custom_target(linkvet_manpage ALL DEPENDS ${PROJECT_BINARY_DIR}/linkvet-cli.1.gz)
install(FILES ${PROJECT_BINARY_DIR}/linkvet-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
# The shape of the JSON report, for those who read it.
install(FILES ${PROJECT_SOURCE_DIR}/res/linkvet-report.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/linkvet)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME linkvet)
set(CPACK_PACKAGE_VENDOR "Veldmark Software")
set(CPACK_PACKAGE_CONTACT "Veldmark Software <linkvet@veldmark.example>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "link checker for web pages, with a window and a command line")
# CPack puts the summary first and indents these lines as the control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Linkvet reads HTML pages, or folders of them, pulls out their absolute http
and ftp links with their anchor texts, probes each one, and lists the bad
ones with a reason. From that list it repairs the pages (keeping backups),
exports text or HTML reports, and prints.

linkvet is the window program; linkvet-cli does the same from scripts and CI.")
set(CPACK_DEBIAN_PACKAGE_SECTION web)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.veldmark.example/")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The libraries come from dpkg-shlibdeps; Qt loads its platform plugins at run
# time, which no linker records, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The trust store that https links are verified against.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
include(CPack)
