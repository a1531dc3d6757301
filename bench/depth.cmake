# The colour depth benchmark (scripts/bench-depth): DepthDownTo(8) with the
# optimised palette and Floyd-Steinberg, and CountColors, on a 12-megapixel
# picture.
add_executable(bench_depth EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_depth.cpp)
target_link_libraries(bench_depth PRIVATE lumivox_filters lumivox_benchutil)
