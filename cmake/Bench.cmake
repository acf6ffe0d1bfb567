find_package(benchmark REQUIRED)
# Every bench/<name>.cpp is one Google Benchmark program.
file(GLOB PALVEX_BENCHES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/bench/*.cpp)
foreach(bench_src ${PALVEX_BENCHES})
  get_filename_component(bench ${bench_src} NAME_WE)
  add_executable(${bench} ${bench_src})
  target_link_libraries(${bench} PRIVATE palvex_core benchmark::benchmark)
  target_compile_definitions(${bench} PRIVATE
    PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PALVEX_BINARY_DIR="${CMAKE_BINARY_DIR}" PALVEX_CORPUS="${PALVEX_CORPUS}")
endforeach()
if(TARGET bench_loader)
  find_package(assimp REQUIRED)
  target_link_libraries(bench_loader PRIVATE assimp::assimp)
endif()
