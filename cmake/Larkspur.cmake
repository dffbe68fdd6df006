# Shared compile settings and the helpers every folder uses.

add_library(larkspur_options INTERFACE)
target_compile_options(larkspur_options INTERFACE -Wall -Wextra)
if(LARKSPUR_WERROR)
    target_compile_options(larkspur_options INTERFACE -Werror)
endif()
target_include_directories(larkspur_options INTERFACE ${PROJECT_SOURCE_DIR} ${PROJECT_BINARY_DIR}/generated)
# The version, written once in project(): LarkspurVersion.h gives it to the code and the resource.
math(EXPR LARKSPUR_VERSION_MAJOR_NUMBER "${PROJECT_VERSION_MAJOR}")
math(EXPR LARKSPUR_VERSION_MINOR_NUMBER "${PROJECT_VERSION_MINOR}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/LarkspurVersion.h.in ${PROJECT_BINARY_DIR}/generated/LarkspurVersion.h)
if(WIN32)
    target_compile_definitions(larkspur_options INTERFACE
        UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)
endif()
# ALSA's and the sound server's package flags define it for the sound libraries; all code defines it
# (glibc takes it for a POSIX level it already has) so that one precompiled header fits every file.
if(UNIX)
    target_compile_definitions(larkspur_options INTERFACE _REENTRANT)
endif()

if(LARKSPUR_SANITIZE STREQUAL "address")
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
    # GCC names the sanitizer in a macro the tests look at; clang 14 does not.
    if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        add_compile_definitions(__SANITIZE_ADDRESS__=1)
    endif()
elseif(LARKSPUR_SANITIZE STREQUAL "thread")
    add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
    add_link_options(-fsanitize=thread)
endif()

find_package(Threads REQUIRED)

# larkspur_add_library(<target> <folder> [DEPS ...])
# One static library per subsystem folder: every .cpp of the folder, plus the folders given in
# PLATFORM_DIRS (only those that exist are used).
function(larkspur_add_library target folder)
    cmake_parse_arguments(ARG "" "" "DEPS;PLATFORM_DIRS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
    foreach(dir IN LISTS ARG_PLATFORM_DIRS)
        file(GLOB more CONFIGURE_DEPENDS ${folder}/${dir}/*.cpp)
        list(APPEND sources ${more})
    endforeach()
    if(NOT sources)
        add_library(${target} INTERFACE)
        target_link_libraries(${target} INTERFACE larkspur_options ${ARG_DEPS})
    else()
        add_library(${target} STATIC ${sources})
        target_link_libraries(${target} PUBLIC larkspur_options ${ARG_DEPS})
        larkspur_precompile_headers(${target})
    endif()
endfunction()

# larkspur_pch_for_ccache(<target>)
# Lets ccache cache what is compiled with a precompiled header (with the sloppiness test.sh sets).
function(larkspur_pch_for_ccache target)
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
        target_compile_options(${target} PRIVATE -fpch-preprocess)
    elseif(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        target_compile_options(${target} PRIVATE -Xclang -fno-pch-timestamp)
    endif()
endfunction()

# The libraries a fuzz build compiles with the fuzzers' coverage instrumentation (tests/fuzz adds it).
set(LARKSPUR_FUZZED_LIBRARIES larkspur_runtime larkspur_wave larkspur_conversion larkspur_output larkspur_player)

# larkspur_precompile_headers(<target>)
# Most of a product file's compile time goes to reading the standard headers (and on Windows the
# system header): the first library reads them once into a precompiled header that the libraries
# compiled with the same flags reuse. A fuzz build's instrumented libraries share one of their own.
function(larkspur_precompile_headers target)
    set(group plain)
    if(LARKSPUR_BUILD_FUZZ AND target IN_LIST LARKSPUR_FUZZED_LIBRARIES)
        set(group fuzzed)
    endif()
    get_property(owner GLOBAL PROPERTY LARKSPUR_PCH_OWNER_${group})
    if(NOT owner)
        set(headers <algorithm> <atomic> <chrono> <cmath> <cstdint> <cstdlib> <cstring> <filesystem> <fstream>
                    <functional> <memory> <mutex> <new> <string> <thread> <utility> <vector>)
        if(WIN32)
            list(APPEND headers <windows.h>)
        endif()
        target_precompile_headers(${target} PRIVATE ${headers})
        set_property(GLOBAL PROPERTY LARKSPUR_PCH_OWNER_${group} ${target})
    else()
        target_precompile_headers(${target} REUSE_FROM ${owner})
    endif()
    larkspur_pch_for_ccache(${target})
endfunction()

# larkspur_test_code(<target>)
# Test code exercises the product code, which keeps the build's own optimisation and debug lines; the
# tests' own template-heavy code compiles in two thirds of the time at -O1, and under the sanitizers,
# whose instrumentation costs most when optimised, in half the time at -O0. (Not -O0 everywhere: the
# MinGW runtime's own sqrt, which unoptimised code calls, is not the instruction the product uses,
# and the tests compare some results bit for bit.) Without line tables it saves a tenth more (a
# failure still names its file and line). Debug builds keep everything.
function(larkspur_test_code target)
    if(LARKSPUR_SANITIZE)
        target_compile_options(${target} PRIVATE "$<$<NOT:$<CONFIG:Debug>>:-O0;-g0>")
    else()
        target_compile_options(${target} PRIVATE "$<$<NOT:$<CONFIG:Debug>>:-O1;-g0>")
    endif()
    larkspur_pch_for_ccache(${target})
endfunction()

# larkspur_precompile_test_headers(<target> [OWN])
# GoogleTest's and GoogleMock's headers take about as long to read as a test file takes to compile:
# they are read once, into the precompiled header of the tests' common library, which every test
# executable compiled with the same flags reuses. OWN gives a target whose flags differ (Qt's
# position-independent code) a header of its own.
function(larkspur_precompile_test_headers target)
    cmake_parse_arguments(ARG "OWN" "" "" ${ARGN})
    larkspur_test_code(${target})
    if(ARG_OWN OR target STREQUAL "larkspur_test_common")
        # With the standard headers most test files read besides them, and on Windows the system
        # header the runtime's locks bring into nearly every test file.
        set(headers <gmock/gmock.h> <gtest/gtest.h> <atomic> <chrono> <cmath> <filesystem> <fstream> <mutex>
                    <numbers> <thread>)
        if(WIN32)
            list(APPEND headers <windows.h>)
        endif()
        target_precompile_headers(${target} PRIVATE ${headers})
    else()
        target_precompile_headers(${target} REUSE_FROM larkspur_test_common)
    endif()
endfunction()

# larkspur_add_test(<target> <folder> [OWN_HEADER] [REALTIME] [DEPS ...])
# One GoogleTest executable per test folder, every .cpp in it, registered with CTest (a Windows build
# runs it under Wine, the cross-compiling emulator). Labelled "realtime" when its tests play at the
# pace of a real clock (sound devices, the terminal player, the window), else "deterministic".
function(larkspur_add_test target folder)
    cmake_parse_arguments(ARG "OWN_HEADER;REALTIME" "" "DEPS" ${ARGN})
    if(ARG_OWN_HEADER)
        set(ARG_OWN_HEADER OWN)
    else()
        set(ARG_OWN_HEADER "")
    endif()
    file(GLOB sources CONFIGURE_DEPENDS ${folder}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${target} ${sources})
    target_link_libraries(${target} PRIVATE larkspur_test_common ${ARG_DEPS} GTest::gtest GTest::gmock
                          GTest::gtest_main)
    larkspur_precompile_test_headers(${target} ${ARG_OWN_HEADER})
    set(label deterministic)
    if(ARG_REALTIME)
        set(label realtime)
    endif()
    larkspur_register_test(${target} ${target} LABEL ${label})
endfunction()

# larkspur_register_test(<name> <target> [LABEL realtime|deterministic] [ARGS ...])
# A CTest entry running a test executable. Under Wine the entries run one at a time: the runner
# starts and ends the prefix's Wine server around each.
function(larkspur_register_test name target)
    cmake_parse_arguments(ARG "" "LABEL" "ARGS" ${ARGN})
    if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
        return()
    endif()
    add_test(NAME ${name} COMMAND ${target} --gtest_color=no ${ARG_ARGS})
    set_tests_properties(${name} PROPERTIES TIMEOUT 900)
    if(ARG_LABEL)
        set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABEL}")
    endif()
    if(CMAKE_CROSSCOMPILING)
        set_tests_properties(${name} PROPERTIES RESOURCE_LOCK wine)
    endif()
endfunction()
