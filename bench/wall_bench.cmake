# The viewer's own costs on a real window: LoadGif split into decoding and
# uploading, the initial fill, DrawWall and the main loop's frame intervals.
# Needs a display: xvfb-run -a -s "-screen 0 1600x1000x24" build/wall_bench
add_executable(wall_bench ${CMAKE_CURRENT_LIST_DIR}/wall_bench.cpp)
target_link_libraries(wall_bench PRIVATE viewercore platform_test_hooks gifencoder)
target_compile_definitions(wall_bench PRIVATE REELSTACK_RUNTIME_DIR="${CMAKE_BINARY_DIR}/runtime")
set_target_properties(wall_bench PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
add_dependencies(wall_bench runtime_files)
