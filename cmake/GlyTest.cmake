# gly_add_test_suite(name SOURCES ... LIBS ...): one GoogleTest executable, its cases registered with
# ctest when ctest runs (discovery goes through Wine too).
include(GoogleTest)
function(gly_add_test_suite name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    GLY_FIXTURE_DIR=L"${GLY_FIXTURE_DIR_WIN}"
    GLY_BIN_DIR=L"${GLY_BIN_DIR_WIN}")
  if(TARGET fixtures)
    add_dependencies(${name} fixtures)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES TIMEOUT 300)
endfunction()
