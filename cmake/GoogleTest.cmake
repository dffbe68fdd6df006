# GoogleTest is built from Debian's source package on every platform, so the native, sanitizer and
# MinGW builds all compile it with their own flags.
set(LARKSPUR_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${LARKSPUR_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "GoogleTest sources not found in ${LARKSPUR_GTEST_SOURCE}; run scripts/install-deps.sh")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
add_subdirectory(${LARKSPUR_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
if(NOT TARGET GTest::gtest)
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
    add_library(GTest::gmock ALIAS gmock)
endif()
# The framework is test code too, compiled as the tests are.
foreach(gtest_target gtest gtest_main gmock gmock_main)
    larkspur_test_code(${gtest_target})
endforeach()
