# The benchmark's Windows programs (scripts/bench.sh): the minimal window program that is the
# yardstick for start-up, built like the three programs, and the stopwatch that times them.
add_executable(bench_minimal WIN32 ${CMAKE_SOURCE_DIR}/tools/bench/minimal.cpp)
add_executable(bench_watch ${CMAKE_SOURCE_DIR}/tools/bench/watch.cpp)
target_link_libraries(bench_watch PRIVATE user32 shell32)

# The floor for start-up (tools/bench/floor.cpp): Setup's first screen made directly with
# Win32, carrying Setup's application manifest.
set(KORV_FLOOR_RC ${CMAKE_BINARY_DIR}/generated/bench_floor.rc)
set(KORV_FLOOR_RES ${CMAKE_BINARY_DIR}/generated/bench_floor_res.o)
file(WRITE ${KORV_FLOOR_RC} "1 24 \"${CMAKE_BINARY_DIR}/generated/Setup.manifest\"\n")
add_custom_command(
  OUTPUT ${KORV_FLOOR_RES}
  COMMAND ${CMAKE_RC_COMPILER} --input-format rc --output-format coff -i ${KORV_FLOOR_RC}
          -o ${KORV_FLOOR_RES}
  DEPENDS ${KORV_FLOOR_RC} ${CMAKE_BINARY_DIR}/generated/Setup.manifest
  VERBATIM)
add_executable(bench_floor WIN32 ${CMAKE_SOURCE_DIR}/tools/bench/floor.cpp ${KORV_FLOOR_RES})
target_link_libraries(bench_floor PRIVATE comctl32 ole32)
