# Installation and the Debian package: `cmake --build <dir> --target package` makes the .deb with
# the two programs, the demo piece, the desktop entry, the icon, the manual pages, the README, the
# changelog and the copyright file. Library dependencies come from dpkg-shlibdeps.
if(WIN32)
    return()
endif()

include(GNUInstallDirs)
if(TARGET larkspur)
    install(TARGETS larkspur RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS larkspur-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The terminal player finds the demo piece in <prefix>/share/larkspur when it is not beside it.
install(FILES ${LARKSPUR_DEMO_PIECE} DESTINATION ${CMAKE_INSTALL_DATADIR}/larkspur)
install(FILES ${PROJECT_SOURCE_DIR}/dist/larkspur.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/dist/larkspur.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/larkspur)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${doc_dir})

# Manual pages and the changelog are installed compressed, without names or times in the gzip
# header, so the package is the same on every build. The version and the maintainer are filled in.
set(packaging_dir ${PROJECT_BINARY_DIR}/packaging)
set(compressed)
foreach(page IN ITEMS larkspur larkspur-cli)
    configure_file(${PROJECT_SOURCE_DIR}/dist/man/${page}.1.in ${packaging_dir}/${page}.1 @ONLY)
    list(APPEND compressed ${page}.1)
endforeach()
configure_file(${PROJECT_SOURCE_DIR}/dist/debian/changelog ${packaging_dir}/changelog @ONLY)
configure_file(${PROJECT_SOURCE_DIR}/dist/debian/copyright ${packaging_dir}/copyright @ONLY)
list(APPEND compressed changelog)
set(compressed_outputs)
foreach(file IN LISTS compressed)
    add_custom_command(
        OUTPUT ${packaging_dir}/${file}.gz
        COMMAND gzip -9 -n -c ${file} > ${file}.gz
        DEPENDS ${packaging_dir}/${file}
        WORKING_DIRECTORY ${packaging_dir}
        VERBATIM)
    list(APPEND compressed_outputs ${packaging_dir}/${file}.gz)
endforeach()
add_custom_target(packaging_files ALL DEPENDS ${compressed_outputs})
install(FILES ${packaging_dir}/larkspur.1.gz ${packaging_dir}/larkspur-cli.1.gz
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${packaging_dir}/changelog.gz ${packaging_dir}/copyright DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME larkspur)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Larkspur")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "varispeed player for WAV, FLAC, MP3, AAC and other sound files")
# The long description below the summary, in lines within 80 columns; CPack indents them as the
# control file wants.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Plays WAV (integer and float), FLAC, MP3, AAC/M4A, ALAC, Ogg Vorbis, Opus,
AIFF and WavPack files at speeds from x0.5 to x2.52 in 1/120-octave steps,
changed while playing without a gap; the pitch follows the speed like a tape
machine. Comes as a window (larkspur) and as a terminal player and offline
renderer (larkspur-cli).")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LARKSPUR_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk")
set(CPACK_STRIP_FILES ON)
include(CPack)
