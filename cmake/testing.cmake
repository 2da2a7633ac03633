# GoogleTest for both configurations, built from Debian's sources (/usr/src/googletest) with
# the toolchain at hand. kv_add_test(name SOURCES ... LIBS ...) adds one test program: natively
# every test case is its own CTest test; under Wine the whole program is one CTest test, since
# starting a Windows process costs far more than a test case.
set(KV_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${KV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

# Helpers every test program links: temporary folders, child processes.
add_library(kv_test_support STATIC ${PROJECT_SOURCE_DIR}/tests/support/child_process.cpp
            ${PROJECT_SOURCE_DIR}/tests/support/process.cpp)
target_include_directories(kv_test_support PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(kv_test_support PUBLIC kv_foundation)
target_compile_definitions(kv_test_support PUBLIC KV_FAULT_INJECTION)

function(kv_add_test name)
  cmake_parse_arguments(T "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} kv_file_layer_faults kv_test_support GTest::gtest
                        GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name} PRIVATE
    KV_TEST_DATA_DIR="${PROJECT_SOURCE_DIR}/tests/data"
    KV_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${name} COMMAND ${name})
    # A hung program must not hold up the whole run: each program needs seconds under Wine.
    set_tests_properties(${name} PROPERTIES LABELS "windows" TIMEOUT 300)
  else()
    gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES LABELS ${name})
  endif()
endfunction()
