# What a player or a Debian system gets: an install into a temporary prefix and the .deb
# unpacked into a temporary root, each validated and started headless (tests/install/).
set(palvex_install_check "${PROJECT_SOURCE_DIR}/tests/install/check.sh")
add_test(NAME install_prefix
  COMMAND "${palvex_install_check}" prefix "${PROJECT_SOURCE_DIR}" "${CMAKE_BINARY_DIR}" "${PROJECT_VERSION}")
add_test(NAME install_deb
  COMMAND "${palvex_install_check}" deb "${PROJECT_SOURCE_DIR}" "${CMAKE_BINARY_DIR}" "${PROJECT_VERSION}"
          "${CMAKE_CPACK_COMMAND}")
set_tests_properties(install_prefix install_deb PROPERTIES LABELS install TIMEOUT 300)
set_tests_properties(install_deb PROPERTIES SKIP_RETURN_CODE 77)

# The committed icons against the generator's output, when this build has the generator;
# decided at the end of the configure, once every target is known.
function(palvex_add_icon_test)
  if(TARGET assetgen)
    add_test(NAME install_icons_current
      COMMAND "${palvex_install_check}" icons "${PROJECT_SOURCE_DIR}" "$<TARGET_FILE:assetgen>")
    set_tests_properties(install_icons_current PROPERTIES LABELS install)
  endif()
endfunction()
cmake_language(DEFER CALL palvex_add_icon_test)
