# Helpers for the test folders: one GoogleTest executable per call, each test registered with ctest.
find_package(GTest REQUIRED)
include(GoogleTest)

# Media fixtures are generated at test time by the ffmpeg tool and cached here between test processes
# (tests/support/Fixtures.cpp).
set(QUARNIX_FIXTURE_DIR ${CMAKE_BINARY_DIR}/test-fixtures)

# quarnix_add_gtest(NAME SOURCES ... LIBS ...)
function(quarnix_add_gtest name)
    cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
    add_executable(${name} ${ARG_SOURCES})
    set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
    gtest_discover_tests(${name}
        DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QUARNIX_BIN_DIR=${QUARNIX_BIN_DIR}"
                   TIMEOUT 300)
endfunction()
