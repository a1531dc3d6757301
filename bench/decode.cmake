# Decoding one file through OpenDib (scripts/bench-decode).
add_executable(bench_decode EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_decode.cpp)
target_link_libraries(bench_decode PRIVATE lumivox_raster)
