# Installation and the Debian package: `cmake --build <dir> --target package` makes the .deb with
# the two programs, the desktop entry, the icon and the README. Library dependencies come from
# dpkg-shlibdeps.
if(WIN32)
    return()
endif()

include(GNUInstallDirs)
if(TARGET larkspur)
    install(TARGETS larkspur RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS larkspur-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${PROJECT_SOURCE_DIR}/dist/larkspur.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/larkspur.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/larkspur)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkspur)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Larkspur")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Varispeed player for PCM WAV files")
set(CPACK_PACKAGE_DESCRIPTION
    "Plays uncompressed PCM WAV files at speeds from x0.5 to x2.52 in 1/120-octave steps, changed while playing without a gap; the pitch follows the speed.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Larkspur developers <larkspur@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
