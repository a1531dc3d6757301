# One playback tick of the demo show (scripts/bench-playback).
add_executable(bench_playback EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_playback.cpp)
target_link_libraries(bench_playback PRIVATE lumivox_show)
