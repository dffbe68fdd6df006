# The portable Windows package: `cmake --build --preset windows --target package` makes a ZIP with
# both programs and the demo piece at its top, the README, the licence and the licence texts of the
# runtime linked into the programs.
install(TARGETS larkspur larkspur-cli RUNTIME DESTINATION .)
install(FILES ${LARKSPUR_DEMO_PIECE} ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION .)
install(FILES ${PROJECT_SOURCE_DIR}/docs/larkspur-windows.png DESTINATION docs OPTIONAL)
# The MinGW-w64 runtime and GCC's C++ library are linked statically; their terms travel with them.
set(LARKSPUR_RUNTIME_LICENCES
    /usr/share/doc/mingw-w64-x86-64-dev/copyright mingw-w64-runtime.txt
    /usr/share/doc/gcc-mingw-w64-base/copyright gcc-runtime-library.txt)
while(LARKSPUR_RUNTIME_LICENCES)
    list(POP_FRONT LARKSPUR_RUNTIME_LICENCES source target)
    if(EXISTS ${source})
        install(FILES ${source} DESTINATION licences RENAME ${target})
    endif()
endwhile()

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME larkspur)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME larkspur-${PROJECT_VERSION}-windows-x64)
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
set(CPACK_STRIP_FILES ON)
include(CPack)
