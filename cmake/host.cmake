# Host build: the portable code against the headless backend and the fake platform, and the
# GoogleTest suites (label "unit"). The Wine end-to-end tests are registered from
# tests/wine (label "wine"); they drive the programs of the cross build tree.
find_package(GTest REQUIRED)
find_package(Threads REQUIRED)
enable_testing()
include(GoogleTest)

korv_folder_library(korv_ui_headless ui/headless "*.cpp" "" korv_ui Threads::Threads)
korv_folder_library(korv_platform_fake platform/fake "*.cpp" "" korv_common)

file(GLOB KORV_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(unit_tests ${KORV_UNIT_TESTS})
target_link_libraries(unit_tests PRIVATE GTest::gtest_main korv_ui_headless)
foreach(lib korv_platform_fake korv_installer korv_uninstaller)
  if(TARGET ${lib})
    target_link_libraries(unit_tests PRIVATE ${lib})
  endif()
endforeach()
gtest_discover_tests(unit_tests PROPERTIES LABELS unit DISCOVERY_TIMEOUT 60)

add_subdirectory(tests/build)
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/fuzz/CMakeLists.txt)
  add_subdirectory(tests/fuzz)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/wine/CMakeLists.txt)
  add_subdirectory(tests/wine)
endif()
