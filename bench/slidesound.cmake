# The tick that starts a slide with a long sound (scripts/bench-slidesound).
add_executable(bench_slidesound EXCLUDE_FROM_ALL ${CMAKE_CURRENT_LIST_DIR}/bench_slidesound.cpp)
find_package(PkgConfig REQUIRED)
pkg_check_modules(BENCH_SDL2_MIXER REQUIRED IMPORTED_TARGET SDL2_mixer sdl2)
target_link_libraries(bench_slidesound PRIVATE lumivox_show PkgConfig::BENCH_SDL2_MIXER)
