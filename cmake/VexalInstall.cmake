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
set(CPACK_PACKAGE_DESCRIPTION
  "Vexal Pro edits TTDPatch configuration files and new-graphics lists in colour-coded editors,\n\
works out which edition of Transport Tycoon Deluxe and TTDPatch a game folder holds, starts the\n\
game under Wine or DOSBox, edits the game's registry settings and keeps TTDPatch up to date.")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION "games")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, xdg-utils")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "wine, dosbox")
set(CPACK_GENERATOR "DEB")
include(CPack)
