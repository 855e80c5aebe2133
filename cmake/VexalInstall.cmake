# SPDX-License-Identifier: GPL-3.0-or-later
# `make install` / `cmake --install` and the Debian package.
#
# The program, its updater and its read-me share one private folder, because the program looks for
# the read-me and hands over to the updater beside its own executable; bin/ holds a link to it.
include(GNUInstallDirs)

set(VEXAL_PROGRAM_DIR "${CMAKE_INSTALL_LIBDIR}/vexalpro")
if(CMAKE_INSTALL_LIBDIR MATCHES "/")
  # Debian's multiarch lib folder; a program's private folder is /usr/lib/<package>.
  set(VEXAL_PROGRAM_DIR "lib/vexalpro")
endif()
# Named after the package, as Debian has it, rather than after the CMake project.
set(VEXAL_DOC_DIR "${CMAKE_INSTALL_DATAROOTDIR}/doc/vexalpro")

install(TARGETS vexalpro vexalpro-updater RUNTIME DESTINATION "${VEXAL_PROGRAM_DIR}")
install(FILES "${PROJECT_SOURCE_DIR}/docs/VexalPro.txt" DESTINATION "${VEXAL_PROGRAM_DIR}")
install(FILES "${PROJECT_SOURCE_DIR}/dist/vexalpro.desktop" DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${PROJECT_SOURCE_DIR}/src/shell/resources/vexalpro.svg"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# The manual page, the changelog and the AppStream metadata carry the project's version, the one
# place it is set; the first two are compressed as Debian wants them (gzip -9n: same bytes for the
# same input).
set(VEXAL_DIST_DIR "${PROJECT_BINARY_DIR}/dist")
set(VEXAL_METAINFO "io.github.vexalpro.VexalPro.metainfo.xml")
configure_file("${PROJECT_SOURCE_DIR}/docs/vexalpro.1.in" "${VEXAL_DIST_DIR}/vexalpro.1" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/dist/changelog.in" "${VEXAL_DIST_DIR}/changelog" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/dist/${VEXAL_METAINFO}.in" "${VEXAL_DIST_DIR}/${VEXAL_METAINFO}" @ONLY)
find_program(VEXAL_GZIP gzip REQUIRED)
foreach(file vexalpro.1 changelog)
  add_custom_command(OUTPUT "${VEXAL_DIST_DIR}/${file}.gz"
    COMMAND "${VEXAL_GZIP}" -9nkf "${VEXAL_DIST_DIR}/${file}"
    DEPENDS "${VEXAL_DIST_DIR}/${file}" VERBATIM)
endforeach()
add_custom_target(vexalpro-dist ALL DEPENDS "${VEXAL_DIST_DIR}/vexalpro.1.gz" "${VEXAL_DIST_DIR}/changelog.gz")
install(FILES "${VEXAL_DIST_DIR}/vexalpro.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${VEXAL_DIST_DIR}/changelog.gz" "${PROJECT_SOURCE_DIR}/dist/copyright" DESTINATION "${VEXAL_DOC_DIR}")
install(FILES "${VEXAL_DIST_DIR}/${VEXAL_METAINFO}" DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
install(FILES "${PROJECT_SOURCE_DIR}/dist/lintian-overrides" DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides"
  RENAME vexalpro)

# Relative links, so that the tree works wherever DESTDIR or the package puts it.
file(RELATIVE_PATH VEXAL_LINK_TO_PROGRAM "/${CMAKE_INSTALL_BINDIR}" "/${VEXAL_PROGRAM_DIR}/vexalpro")
file(RELATIVE_PATH VEXAL_LINK_TO_README "/${VEXAL_DOC_DIR}" "/${VEXAL_PROGRAM_DIR}/VexalPro.txt")
install(CODE "
  set(prefix \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
  file(MAKE_DIRECTORY \"\${prefix}/${CMAKE_INSTALL_BINDIR}\" \"\${prefix}/${VEXAL_DOC_DIR}\")
  file(CREATE_LINK \"${VEXAL_LINK_TO_PROGRAM}\" \"\${prefix}/${CMAKE_INSTALL_BINDIR}/vexalpro\" SYMBOLIC)
  file(CREATE_LINK \"${VEXAL_LINK_TO_README}\" \"\${prefix}/${VEXAL_DOC_DIR}/VexalPro.txt\" SYMBOLIC)
  message(STATUS \"Linking: \${prefix}/${CMAKE_INSTALL_BINDIR}/vexalpro\")
")

# cpack -G DEB: the run-time dependencies come from dpkg-shlibdeps on the installed executables;
# the Qt plugins the program loads at run time are not linked, so they are named here.
set(CPACK_PACKAGE_NAME "vexalpro")
set(CPACK_PACKAGE_VENDOR "Vexal Pro")
set(CPACK_PACKAGE_CONTACT "Vexal Pro developers <vexalpro@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
# The long description's lines stay within Debian's 80 columns.
set(CPACK_PACKAGE_DESCRIPTION
  "Vexal Pro edits TTDPatch configuration files and new-graphics lists in\n\
colour-coded editors, works out which edition of Transport Tycoon Deluxe and\n\
TTDPatch a game folder holds, starts the game under Wine or DOSBox, edits the\n\
game's registry settings and keeps TTDPatch up to date.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# A tool for a game, not a game: "utils", where configuration tools live.
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libzip and OpenSSL are opened at run time, so shlibdeps does not see them.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, libzip4, libssl3, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, dosbox")
set(CPACK_GENERATOR "DEB")
include(CPack)
