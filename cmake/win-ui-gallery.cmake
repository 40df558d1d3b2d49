# The Win32 ui backend's system libraries, and its gallery: a self-checking program that shows
# every control kind on real windows, run under Wine by tests/wine/ui_gallery/run.sh (the Wine
# test wine_test_ui_gallery calls it, label "wine").
if(TARGET korv_ui_win32)
  target_link_libraries(korv_ui_win32 PUBLIC comctl32 ole32 shell32 gdi32 user32 uuid)

  add_executable(ui_gallery WIN32
    ${CMAKE_SOURCE_DIR}/tests/wine/ui_gallery/gallery.cpp
    ${CMAKE_SOURCE_DIR}/tests/wine/ui_gallery/gallery.rc)
  # windres finds the picture and the manifest beside the resource script.
  target_include_directories(ui_gallery PRIVATE ${CMAKE_SOURCE_DIR}/tests/wine/ui_gallery)
  target_link_libraries(ui_gallery PRIVATE korv_ui_win32)
endif()
