# The transition effects against ffmpeg's xfade (scripts/bench-transitions).
add_executable(bench_transitions EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_transitions.cpp)
target_link_libraries(bench_transitions PRIVATE lumivox_show)
