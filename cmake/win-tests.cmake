# Test programs run under Wine by the end-to-end tests (tests/wine): the driver that looks at
# and acts on the programs' windows, a small GUI program for the driver's own tests, and the
# INI reader comparison.
add_executable(driver ${CMAKE_SOURCE_DIR}/tests/wine/driver/driver.cpp)
target_link_libraries(driver PRIVATE comctl32 shell32 ole32 uuid)

add_executable(driver_testapp WIN32 ${CMAKE_SOURCE_DIR}/tests/wine/driver/testapp.cpp
                                    ${CMAKE_SOURCE_DIR}/tests/wine/driver/testapp.rc)
target_link_libraries(driver_testapp PRIVATE comctl32)

add_executable(ini_check ${CMAKE_SOURCE_DIR}/tests/wine/ini_check/ini_check.cpp)
target_link_libraries(ini_check PRIVATE korv_common shell32)

# plant.dll: what a test places beside a program under a system DLL's name; it leaves a marker
# file when loaded.
add_library(plant SHARED ${CMAKE_SOURCE_DIR}/tests/wine/plant/plant.cpp)
set_target_properties(plant PROPERTIES PREFIX "")
