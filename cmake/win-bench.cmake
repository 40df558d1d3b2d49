# The benchmark's Windows programs (scripts/bench.sh): the minimal window program that is the
# yardstick for start-up, built like the three programs, and the stopwatch that times them.
add_executable(bench_minimal WIN32 ${CMAKE_SOURCE_DIR}/tools/bench/minimal.cpp)
add_executable(bench_watch ${CMAKE_SOURCE_DIR}/tools/bench/watch.cpp)
target_link_libraries(bench_watch PRIVATE user32 shell32)
