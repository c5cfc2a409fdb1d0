# Test helpers shared by every tests/<area>/CMakeLists.txt.
#
# No test may see the host's /etc or /var/log: every test executable runs
# through the sandbox runner, which gives it a private mount namespace with
# its own copy of /etc and an empty /var/log.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)

set(KVX_SANDBOX ${CMAKE_SOURCE_DIR}/tests/support/sandbox-run)

# kvx_add_test(<name> SOURCES <files...> LIBS <targets...> [LABELS <labels...>] [TIMEOUT <s>]
#              [COST <s>])
# Builds one GoogleTest executable and registers it with CTest as one test,
# run inside the sandbox. The binary's folder and the source tree are passed
# in the environment so tests can find the built programs and fixtures.
# COST, its rough length in seconds, starts long tests first: a clean checkout
# has no timing history, and a pass lasts as long as its last long test.
function(kvx_add_test name)
  cmake_parse_arguments(T "" "TIMEOUT;COST" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gmock GTest::gtest GTest::gtest_main Threads::Threads)
  add_test(NAME ${name} COMMAND ${KVX_SANDBOX} $<TARGET_FILE:${name}>)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 600)
  endif()
  if(NOT T_COST)
    set(T_COST 0)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${T_TIMEOUT}
    COST ${T_COST}
    LABELS "${T_LABELS}"
    FIXTURES_REQUIRED host_untouched
    ENVIRONMENT "KVX_BUILD_DIR=${CMAKE_BINARY_DIR};KVX_SOURCE_DIR=${CMAKE_SOURCE_DIR};KVX_SANDBOX=${KVX_SANDBOX}")
endfunction()
