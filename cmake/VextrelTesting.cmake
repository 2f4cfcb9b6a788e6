# Test programs and build checks. Every test program links the support code of tests/support/
# (its common files and those of the target platform), which makes a crash fail the program on
# every target.
include(GoogleTest)

# Compiled once and linked into every program that needs them: the child-process helpers
# (vextrel_test_process, also used by the host programs) and the rest of the support code.
add_library(vextrel_test_process OBJECT ${PROJECT_SOURCE_DIR}/tests/support/${VEXTREL_PLATFORM}/process.cpp)
file(GLOB VEXTREL_TEST_SUPPORT_SOURCES CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/tests/support/*.cpp
    ${PROJECT_SOURCE_DIR}/tests/support/${VEXTREL_PLATFORM}/*.cpp)
list(FILTER VEXTREL_TEST_SUPPORT_SOURCES EXCLUDE REGEX "/process\\.cpp$")
add_library(vextrel_test_support OBJECT ${VEXTREL_TEST_SUPPORT_SOURCES})

# Test code carries line tables and function names only (-g1), not the full debug information: its
# stack traces, sanitizer reports and the names the stack tests look for need no more, and the
# full information took a fifth of the compile time and most of the programs' size (Wine loads
# each test program once per test).
function(vextrel_line_tables_only)
    foreach(target ${ARGN})
        target_compile_options(${target} PRIVATE $<$<CONFIG:RelWithDebInfo,Debug>:-g1>)
    endforeach()
endfunction()
vextrel_line_tables_only(vextrel_test_process vextrel_test_support gtest gtest_main)

# Tests run as separate processes; under Wine the first one also boots the prefix.
set(VEXTREL_TEST_TIMEOUT 300 CACHE STRING "Seconds a single test (or test listing) may take")

# vextrel_add_test_executable(<name> <source>... [LIBRARIES <library>...])
# Builds a GoogleTest program from the sources and the support code, linked with the libraries
# (vextrel_static when none are given), and registers every test in it with ctest. The tests are
# listed when ctest runs (PRE_TEST), so building does not start Wine.
function(vextrel_add_test_executable name)
    cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "LIBRARIES")
    if(NOT arg_LIBRARIES)
        set(arg_LIBRARIES vextrel_static)
    endif()
    add_executable(${name} ${arg_UNPARSED_ARGUMENTS})
    target_link_libraries(${name} PRIVATE ${arg_LIBRARIES} vextrel_test_support vextrel_test_process gtest gtest_main)
    vextrel_line_tables_only(${name})
    # With clang, GoogleTest's header and the standard headers most tests use are parsed once per
    # program instead of once per test file. Not with GCC 12: its precompiled headers lose the
    # system-header status of the standard library for some warnings (false -Warray-bounds on
    # std::string concatenation in test bodies).
    if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
        target_precompile_headers(${name} PRIVATE <gtest/gtest.h> <string> <vector> <thread> <atomic>
            <chrono> <memory> <cstring> <cstdio> <cstdlib>)
    endif()
    gtest_discover_tests(${name}
        DISCOVERY_MODE PRE_TEST
        DISCOVERY_TIMEOUT ${VEXTREL_TEST_TIMEOUT}
        PROPERTIES TIMEOUT ${VEXTREL_TEST_TIMEOUT})
    set_property(GLOBAL APPEND PROPERTY VEXTREL_TEST_PROGRAMS ${name})
endfunction()

# vextrel_add_crash_probe(<name> <source>...)
# Builds a GoogleTest program that is expected to crash and registers it as one test that passes only
# when the program fails.
function(vextrel_add_crash_probe name)
    add_executable(${name} ${ARGN})
    target_link_libraries(${name} PRIVATE vextrel_test_support vextrel_test_process gtest gtest_main)
    vextrel_line_tables_only(${name})
    if(WIN32)
        add_test(NAME ${name} COMMAND ${name})
    else()
        # ctest counts a death by signal as a failure even when failure is expected; through a shell
        # it becomes exit status 128 + signal number.
        add_test(NAME ${name} COMMAND sh -c "\"$0\"; exit $?" $<TARGET_FILE:${name}>)
    endif()
    set_tests_properties(${name} PROPERTIES WILL_FAIL TRUE TIMEOUT ${VEXTREL_TEST_TIMEOUT})
    set_property(GLOBAL APPEND PROPERTY VEXTREL_TEST_PROGRAMS ${name})
endfunction()

# vextrel_add_binary_checks()
# Registers the export check of the shared library and, for Windows, the check that the library and
# every test program import only Windows system DLLs. Call it after the last test program.
function(vextrel_add_binary_checks)
    set(require_all "")
    if(VEXTREL_REQUIRE_ALL_EXPORTS)
        set(require_all --require-all)
    endif()
    if(WIN32)
        set(format pe)
        set(lister ${CMAKE_OBJDUMP})
    else()
        set(format elf)
        find_program(VEXTREL_NM NAMES nm REQUIRED)
        set(lister ${VEXTREL_NM})
    endif()
    add_test(NAME library_exports
        COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/check-exports.sh
            ${format} ${lister} ${PROJECT_SOURCE_DIR}/include/vextrel.h $<TARGET_FILE:vextrel> ${require_all})
    set_tests_properties(library_exports PROPERTIES TIMEOUT 120)
    if(WIN32)
        get_property(programs GLOBAL PROPERTY VEXTREL_TEST_PROGRAMS)
        set(binaries $<TARGET_FILE:vextrel>)
        foreach(program IN LISTS programs)
            list(APPEND binaries $<TARGET_FILE:${program}>)
        endforeach()
        add_test(NAME binary_imports
            COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/check-imports.sh ${CMAKE_OBJDUMP} ${binaries})
        set_tests_properties(binary_imports PROPERTIES TIMEOUT 120)
    endif()
endfunction()
