# libFuzzer targets: every fuzz/<name>.cpp is one program, linked with a copy of the game
# modules built with coverage for the fuzzer and the address and undefined-behaviour
# sanitizers. Needs clang (make fuzz configures the build with it).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "PALVEX_FUZZ needs clang: configure with CC=clang CXX=clang++")
endif()

set(PALVEX_FUZZ_FLAGS -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer -g)
palvex_add_core("_fuzz")
foreach(part palvex_platform_fuzz palvex_game_fuzz palvex_testbench_fuzz)
  target_compile_options(${part} PRIVATE ${PALVEX_FUZZ_FLAGS})
endforeach()

file(GLOB PALVEX_FUZZERS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/fuzz/*.cpp)
# The packet decoder needs none of the game: it links the network library's socketless part.
list(FILTER PALVEX_FUZZERS EXCLUDE REGEX "/net_fuzz\\.cpp$")
# `fuzzers` builds just these programs: make fuzz needs nothing else of this build.
add_custom_target(fuzzers)
foreach(fuzz_src ${PALVEX_FUZZERS})
  get_filename_component(fuzzer ${fuzz_src} NAME_WE)
  add_executable(${fuzzer} ${fuzz_src})
  target_compile_options(${fuzzer} PRIVATE ${PALVEX_FUZZ_FLAGS})
  target_link_options(${fuzzer} PRIVATE -fsanitize=fuzzer,address,undefined)
  target_link_libraries(${fuzzer} PRIVATE palvex_testbench_fuzz PkgConfig::SDL2)
  set_target_properties(${fuzzer} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
  add_dependencies(fuzzers ${fuzzer})
endforeach()

add_library(palvex_net_fuzz STATIC ${PALVEX_NET_CORE_SOURCES})
target_include_directories(palvex_net_fuzz PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_compile_options(palvex_net_fuzz PRIVATE ${PALVEX_FUZZ_FLAGS})
add_executable(net_fuzz ${CMAKE_SOURCE_DIR}/fuzz/net_fuzz.cpp)
target_compile_options(net_fuzz PRIVATE ${PALVEX_FUZZ_FLAGS})
target_link_options(net_fuzz PRIVATE -fsanitize=fuzzer,address,undefined)
target_link_libraries(net_fuzz PRIVATE palvex_net_fuzz)
set_target_properties(net_fuzz PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/fuzz)
add_dependencies(fuzzers net_fuzz)
