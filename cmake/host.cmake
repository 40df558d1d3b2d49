# Host build: the portable code against the headless backend and the fake platform, and the
# GoogleTest suites. The Wine end-to-end tests are registered here too (label "wine"): they
# drive the cross-built programs, which scripts/build.sh puts into build/cross.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
enable_testing()
include(GoogleTest)

add_library(korv_ui_headless STATIC ui/headless/headless.cpp)
target_link_libraries(korv_ui_headless PUBLIC korv_ui Threads::Threads)

file(GLOB KORV_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*_test.cpp)
add_executable(unit_tests ${KORV_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE korv_ui_headless GTest::gtest_main)
gtest_discover_tests(unit_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 30)

if(EXISTS ${CMAKE_SOURCE_DIR}/cmake/host-extra.cmake)
  include(cmake/host-extra.cmake)
endif()
