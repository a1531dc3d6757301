# The geometric transforms against ImageMagick (scripts/bench-geometry).
add_executable(bench_geometry EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_geometry.cpp)
target_link_libraries(bench_geometry PRIVATE lumivox_filters lumivox_benchutil)
