# Adding many photos to a show, and reading one (scripts/bench-intake).
add_executable(bench_intake EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_intake.cpp)
target_link_libraries(bench_intake PRIVATE lumivox_show)
