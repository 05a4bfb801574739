# Helpers for the test folders: one GoogleTest executable per call, each test registered with ctest.
find_package(GTest REQUIRED)
include(GoogleTest)

# Media fixtures are generated at test time by the ffmpeg tool and cached here between test processes
# (tests/support/Fixtures.cpp).
set(QUARNIX_FIXTURE_DIR ${CMAKE_BINARY_DIR}/test-fixtures)

# quarnix_add_gtest(NAME SOURCES ... LIBS ... [SANITIZERS address thread])
# SANITIZERS names the sanitizer builds that run the program (quarnix_sanitizer_programs below).
function(quarnix_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;SANITIZERS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    foreach(sanitizer IN LISTS ARG_SANITIZERS)
        quarnix_sanitizer_program(${sanitizer} ${name})
    endforeach()
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUARNIX_BIN_DIR=${QUARNIX_BIN_DIR}"
                   TIMEOUT 300)
endfunction()

# The programs a sanitizer build runs: each test program says which sanitizer builds run it (a program that
# a test starts, such as quarnix-cli, comes with the test's add_dependencies). `make sanitize-address` and `make sanitize-thread` build
# the one target quarnix_sanitizer_programs (made by quarnix_add_sanitizer_target at the end of the top
# CMakeLists.txt), which depends on all programs of the sanitizer configured.
function(quarnix_sanitizer_program sanitizer target)
    set_property(GLOBAL APPEND PROPERTY QUARNIX_SANITIZER_PROGRAMS_${sanitizer} ${target})
endfunction()

function(quarnix_add_sanitizer_target)
    if(NOT QUARNIX_SANITIZE)
        return()
    endif()
    get_property(programs GLOBAL PROPERTY QUARNIX_SANITIZER_PROGRAMS_${QUARNIX_SANITIZE})
    add_custom_target(quarnix_sanitizer_programs)
    add_dependencies(quarnix_sanitizer_programs ${programs})
endfunction()
