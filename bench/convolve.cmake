# The convolution benchmark (scripts/bench-convolve): DibFilter with the
# 5 x 5 "Stark Weichzeichnen" record on a 12-megapixel picture.
add_executable(bench_convolve EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_convolve.cpp)
target_link_libraries(bench_convolve PRIVATE lumivox_filters lumivox_benchutil)
