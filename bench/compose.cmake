# Composing one screen of a show (scripts/bench-compose).
add_executable(bench_compose EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_compose.cpp)
target_link_libraries(bench_compose PRIVATE lumivox_show)
