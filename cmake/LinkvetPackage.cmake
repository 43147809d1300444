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

# The manual pages carry the project's version and ship gzipped, as Debian's
# policy has it (-n keeps the files' bytes the same from build to build).
foreach(_page linkvet linkvet-cli)
  configure_file(${PROJECT_SOURCE_DIR}/res/${_page}.1 ${PROJECT_BINARY_DIR}/${_page}.1 @ONLY)
  add_custom_command(
    OUTPUT ${PROJECT_BINARY_DIR}/${_page}.1.gz
    COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/${_page}.1
    DEPENDS ${PROJECT_BINARY_DIR}/${_page}.1
    VERBATIM)
  list(APPEND _manpages ${PROJECT_BINARY_DIR}/${_page}.1.gz)
endforeach()
add_custom_target(linkvet_manpage ALL DEPENDS ${_manpages})
install(FILES ${_manpages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# What Debian wants beside every package: the licence in its machine-readable
# form and the package's changelog, gzipped as the man pages are. The package
# has a Debian revision, as one made apart from the program's sources (a native
# package would name its changelog changelog.gz).
set(LINKVET_DEBIAN_REVISION 1)
set(_docdir ${CMAKE_INSTALL_DATADIR}/doc/linkvet)
install(FILES ${PROJECT_SOURCE_DIR}/res/copyright DESTINATION ${_docdir})
configure_file(${PROJECT_SOURCE_DIR}/res/changelog.Debian ${PROJECT_BINARY_DIR}/changelog.Debian
               @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/changelog.Debian.gz
  COMMAND gzip -9nf -k ${PROJECT_BINARY_DIR}/changelog.Debian
  DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian
  VERBATIM)
add_custom_target(linkvet_changelog ALL DEPENDS ${PROJECT_BINARY_DIR}/changelog.Debian.gz)
install(FILES ${PROJECT_BINARY_DIR}/changelog.Debian.gz DESTINATION ${_docdir})
# The tags that do not apply to a package made outside Debian, each with its reason.
install(FILES ${PROJECT_SOURCE_DIR}/res/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME linkvet)
# The shape of the JSON report, for those who read it.
install(FILES ${PROJECT_SOURCE_DIR}/res/linkvet-report.schema.json
        DESTINATION ${CMAKE_INSTALL_DATADIR}/linkvet)

# Debian's packages drop the compiler's note (.comment) from their programs as
# they strip them; CPack's strip keeps it. Run after the programs' own install
# rules (src/ is added before this file).
install(CODE "
  foreach(_program linkvet linkvet-cli)
    execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
      \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${_program}\"
      COMMAND_ERROR_IS_FATAL ANY)
  endforeach()")

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
set(CPACK_DEBIAN_PACKAGE_RELEASE ${LINKVET_DEBIAN_REVISION})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
# The libraries come from dpkg-shlibdeps; Qt loads its platform plugins at run
# time, which no linker records, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
# The trust store that https links are verified against.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates")
include(CPack)
