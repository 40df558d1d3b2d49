# The Win32 platform's system libraries, and its self-checking test program, run under Wine
# by tests/wine/platform_check/run.sh (the Wine test wine_test_platform_check calls it).
if(TARGET korv_platform_win32)
  target_link_libraries(korv_platform_win32 PUBLIC ole32 uuid shell32 user32)

  add_executable(platform_check
    ${CMAKE_SOURCE_DIR}/tests/wine/platform_check/platform_check.cpp
    ${CMAKE_SOURCE_DIR}/tests/wine/platform_check/platform_check.rc)
  target_link_libraries(platform_check PRIVATE korv_platform_win32)
  # A console program: its report goes to standard output.
  target_link_options(platform_check PRIVATE -mconsole)
endif()
