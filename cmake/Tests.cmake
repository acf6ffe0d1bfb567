include(${CMAKE_SOURCE_DIR}/cmake/Corpus.cmake)
find_package(GTest REQUIRED)
include(GoogleTest)

# The programs that only start the game and read what it wrote are built without
# optimisation: their own speed does not matter, and with the JSON and regex templates
# they are the slowest part of the build at -O2 (about four times slower).
set(PALVEX_HARNESS_FLAGS -O0 -g1)

# Unit tests: logic, with the real GL where a test needs pixels.
file(GLOB PALVEX_UNIT_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/unit/*.cpp)
add_executable(palvex_unit_tests ${PALVEX_UNIT_TESTS})
target_link_libraries(palvex_unit_tests PRIVATE palvex_testbench PkgConfig::SDL2 GTest::gtest GTest::gtest_main)
target_compile_definitions(palvex_unit_tests PRIVATE
  PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PALVEX_BINARY_DIR="${CMAKE_BINARY_DIR}" PALVEX_CORPUS="${PALVEX_CORPUS}")
gtest_discover_tests(palvex_unit_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)

# GL call tests: the GL functions listed in tests/gl/wrapped.txt are routed through
# counting wrappers with the linker's --wrap, so the game calls GL directly.
file(GLOB PALVEX_GL_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/gl/*.cpp)
if(PALVEX_GL_TESTS)
  file(STRINGS ${CMAKE_SOURCE_DIR}/tests/gl/wrapped.txt PALVEX_WRAPPED_GL)
  set(PALVEX_WRAP_FLAGS "")
  foreach(fn ${PALVEX_WRAPPED_GL})
    list(APPEND PALVEX_WRAP_FLAGS "-Wl,--wrap=${fn}")
  endforeach()
  add_executable(palvex_gl_tests ${PALVEX_GL_TESTS})
  target_link_libraries(palvex_gl_tests PRIVATE palvex_testbench PkgConfig::SDL2 GTest::gtest GTest::gtest_main)
  target_link_options(palvex_gl_tests PRIVATE ${PALVEX_WRAP_FLAGS})
  target_compile_definitions(palvex_gl_tests PRIVATE
    PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PALVEX_BINARY_DIR="${CMAKE_BINARY_DIR}" PALVEX_CORPUS="${PALVEX_CORPUS}")
  gtest_discover_tests(palvex_gl_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)
endif()

# Integration tests run the real binary headless.
file(GLOB PALVEX_INTEGRATION_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/integration/*.cpp)
add_executable(palvex_integration_tests ${PALVEX_INTEGRATION_TESTS})
target_link_libraries(palvex_integration_tests PRIVATE GTest::gtest GTest::gtest_main
  nlohmann_json::nlohmann_json PkgConfig::SDL2)
target_include_directories(palvex_integration_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
target_compile_options(palvex_integration_tests PRIVATE ${PALVEX_HARNESS_FLAGS})
target_compile_definitions(palvex_integration_tests PRIVATE
  PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PALVEX_BINARY="$<TARGET_FILE:palvex>"
  PALVEX_BINARY_DIR="${CMAKE_BINARY_DIR}" PALVEX_FONT="${PALVEX_FONT}")
add_dependencies(palvex_integration_tests palvex)
gtest_discover_tests(palvex_integration_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)

# The whole ladder of the computer drivers, a few races per match: every level plays,
# the tool's figures add up, the report is written.
add_test(NAME ladder_short COMMAND ${CMAKE_SOURCE_DIR}/scripts/run-ladder ${CMAKE_BINARY_DIR}
  --races 2 --seed 5 --jobs 1 --out ${CMAKE_BINARY_DIR}/ladder-short.md)
set_tests_properties(ladder_short PROPERTIES TIMEOUT 300)
add_dependencies(palvex_integration_tests palvex-ladder)

# End to end: the real window under Xvfb with real key events.
add_test(NAME e2e_window COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/run.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_window PROPERTIES LABELS e2e TIMEOUT 180)
add_test(NAME e2e_wayland COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/wayland.sh $<TARGET_FILE:palvex> $<TARGET_FILE:swapcount>)
set_tests_properties(e2e_wayland PROPERTIES LABELS e2e TIMEOUT 180 SKIP_RETURN_CODE 77)
add_test(NAME e2e_online COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/online.sh $<TARGET_FILE:palvex> $<TARGET_FILE:palvex-relay>)
set_tests_properties(e2e_online PROPERTIES LABELS e2e TIMEOUT 120)
add_test(NAME e2e_online_recorded COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/onlinerecorded.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_online_recorded PROPERTIES LABELS e2e TIMEOUT 120)
add_test(NAME e2e_versus COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/versus.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_versus PROPERTIES LABELS e2e TIMEOUT 120)
add_test(NAME e2e_lobby COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/lobby.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_lobby PROPERTIES LABELS e2e TIMEOUT 120)
add_test(NAME e2e_desktop COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/desktop.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_desktop PROPERTIES LABELS e2e TIMEOUT 180)

# Data files: read back with independent decoders, and the generator's output checked
# against itself and against data/.
if(TARGET assetgen)
  pkg_check_modules(ASSET_TEST_LIBS REQUIRED IMPORTED_TARGET vorbisfile)
  file(GLOB PALVEX_ASSET_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/assets/*.cpp)
  add_executable(palvex_assets_tests ${PALVEX_ASSET_TESTS})
  target_link_libraries(palvex_assets_tests PRIVATE GTest::gtest GTest::gtest_main PkgConfig::SDL2 PkgConfig::ASSET_TEST_LIBS)
  target_compile_definitions(palvex_assets_tests PRIVATE
    PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" ASSETGEN="$<TARGET_FILE:assetgen>")
  add_dependencies(palvex_assets_tests assetgen)
  gtest_discover_tests(palvex_assets_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)
endif()

# Agreement with assimp's ASE importer: a program of its own, so that the game and its
# other tests never link assimp.
file(GLOB PALVEX_REFERENCE_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/reference/*.cpp)
if(PALVEX_REFERENCE_TESTS)
  find_package(assimp REQUIRED)
  add_executable(palvex_reference_tests ${PALVEX_REFERENCE_TESTS})
  target_link_libraries(palvex_reference_tests PRIVATE palvex_game assimp::assimp GTest::gtest GTest::gtest_main)
  target_compile_definitions(palvex_reference_tests PRIVATE
    PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PALVEX_BINARY_DIR="${CMAKE_BINARY_DIR}" PALVEX_CORPUS="${PALVEX_CORPUS}")
  gtest_discover_tests(palvex_reference_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60)
endif()

# The long headless race: its own program, labelled; the sanitizer pass skips it and
# does not build it.
file(GLOB PALVEX_SOAK_TESTS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/soak/*.cpp)
if(PALVEX_SOAK_TESTS AND NOT PALVEX_SANITIZE)
  add_executable(palvex_soak_tests ${PALVEX_SOAK_TESTS})
  target_link_libraries(palvex_soak_tests PRIVATE GTest::gtest GTest::gtest_main
    nlohmann_json::nlohmann_json PkgConfig::SDL2)
  target_include_directories(palvex_soak_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_compile_options(palvex_soak_tests PRIVATE ${PALVEX_HARNESS_FLAGS})
  target_compile_definitions(palvex_soak_tests PRIVATE
    PALVEX_SOURCE_DIR="${CMAKE_SOURCE_DIR}" PALVEX_BINARY="$<TARGET_FILE:palvex>"
    PALVEX_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(palvex_soak_tests palvex)
  gtest_discover_tests(palvex_soak_tests WORKING_DIRECTORY ${CMAKE_BINARY_DIR} DISCOVERY_TIMEOUT 60
    PROPERTIES LABELS soak TIMEOUT 600)
endif()
# Memcheck over a headless race (skipped without valgrind; not part of the sanitizer pass).
add_test(NAME valgrind_race COMMAND ${CMAKE_SOURCE_DIR}/tests/valgrind/race.sh $<TARGET_FILE:palvex>
  ${CMAKE_SOURCE_DIR}/tests/valgrind.supp 300)
set_tests_properties(valgrind_race PROPERTIES LABELS valgrind SKIP_RETURN_CODE 77 TIMEOUT 600)

# The reference replays: every build must play them back to the recorded race state.
file(GLOB PALVEX_REFERENCE_REPLAYS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/data/replays/*.pvxr)
foreach(replay ${PALVEX_REFERENCE_REPLAYS})
  get_filename_component(name ${replay} NAME_WE)
  add_test(NAME replay_reference_${name} COMMAND $<TARGET_FILE:palvex> --replay ${replay} --verify
    WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
  set_tests_properties(replay_reference_${name} PROPERTIES LABELS replay PASS_REGULAR_EXPRESSION "the replay agrees")
  # The race's snapshots: every frame rolled back and run again must come out the same.
  foreach(distance 1 4 8)
    add_test(NAME replay_sync_${name}_${distance} COMMAND $<TARGET_FILE:palvex> --replay ${replay} --sync-test ${distance}
      WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
    set_tests_properties(replay_sync_${name}_${distance} PROPERTIES LABELS replay
      PASS_REGULAR_EXPRESSION "the sync test agrees: [0-9]+ frames")
  endforeach()
endforeach()
add_test(NAME e2e_replay COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/replay.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_replay PROPERTIES LABELS e2e TIMEOUT 120)
add_test(NAME e2e_playback COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/playback.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_playback PROPERTIES LABELS e2e TIMEOUT 150)
# Install rules and the Debian package, as a player gets them.
include(cmake/InstallTests.cmake)
add_test(NAME e2e_icon COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/icon.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_icon PROPERTIES LABELS e2e TIMEOUT 60)
# The menu at rest: swapcount counts the game's swaps from inside its process.
add_library(swapcount MODULE ${CMAKE_SOURCE_DIR}/tests/e2e/swapcount.cpp)
target_link_libraries(swapcount PRIVATE ${CMAKE_DL_LIBS})
set_target_properties(swapcount PROPERTIES PREFIX "")
add_test(NAME e2e_menu COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/menu.sh $<TARGET_FILE:palvex> $<TARGET_FILE:swapcount>)
set_tests_properties(e2e_menu PROPERTIES LABELS e2e TIMEOUT 90)
# What a new player meets first: the menu after a race, the focus, the fullscreen race.
add_test(NAME e2e_firstminutes COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/firstminutes.sh $<TARGET_FILE:palvex>)
set_tests_properties(e2e_firstminutes PROPERTIES LABELS e2e TIMEOUT 120)
