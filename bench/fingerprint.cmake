# The fingerprint of a 12-megapixel picture (scripts/bench-fingerprint).
add_executable(bench_fingerprint EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_fingerprint.cpp)
target_link_libraries(bench_fingerprint PRIVATE lumivox_raster)
