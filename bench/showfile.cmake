# Opening and saving a show of big photos (scripts/bench-showfile).
add_executable(bench_showfile EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_showfile.cpp)
target_link_libraries(bench_showfile PRIVATE lumivox_show)
