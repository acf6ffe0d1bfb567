# Online play: the rollback session, the wire protocol and the transports (src/net), the
# UDP relay that adds a bad network's faults between processes, and their tests. ENet stays
# private to the library: nothing that includes src/net sees a socket.
pkg_check_modules(ENET REQUIRED IMPORTED_TARGET libenet)

# The parts without a socket: what the fuzzer also builds.
set(PALVEX_NET_CORE_SOURCES src/net/session.cpp src/net/wire.cpp src/net/ratelog.cpp)
set(PALVEX_NET_SOURCES ${PALVEX_NET_CORE_SOURCES}
  src/net/simlink.cpp src/net/enettransport.cpp src/net/peer.cpp)

add_library(palvex_net STATIC ${PALVEX_NET_SOURCES})
target_include_directories(palvex_net PUBLIC ${CMAKE_SOURCE_DIR}/src)
target_link_libraries(palvex_net PRIVATE PkgConfig::ENET)
if(NOT PALVEX_SANITIZE)
  target_compile_options(palvex_net PRIVATE -fstack-protector-strong
    $<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:-D_FORTIFY_SOURCE=2>)
endif()

if(PALVEX_TOOLS OR PALVEX_TESTS)
  add_executable(palvex-relay tools/relay.cpp)
  target_link_libraries(palvex-relay PRIVATE palvex_net)
endif()

if(PALVEX_TESTS)
  file(GLOB PALVEX_NET_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/net/*.cpp)
  add_executable(palvex_net_tests ${PALVEX_NET_TESTS})
  target_link_libraries(palvex_net_tests PRIVATE palvex_net GTest::gtest GTest::gtest_main)
  target_compile_definitions(palvex_net_tests PRIVATE PALVEX_RELAY="$<TARGET_FILE:palvex-relay>")
  add_dependencies(palvex_net_tests palvex-relay)
  gtest_discover_tests(palvex_net_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)
endif()

if(TARGET bench_net)
  target_link_libraries(bench_net PRIVATE palvex_net)
endif()
