# Install rules and the Debian package.
#
#   cmake --install build --prefix P     the game under P (bin/, share/)
#   cd build && cpack -G DEB             palvex_<version>-<release>_<arch>.deb, under /usr
#
# The install is relocatable: the game finds its data at ../share/palvex/ from its own
# directory, so P can be anything. The version everywhere (--version, the man page, the
# metainfo, the package) is this project's; the release date comes from CHANGELOG.md.
include(GNUInstallDirs)

set(PALVEX_HOMEPAGE "https://github.com/palvex/palvex" CACHE STRING
    "The project's public repository: the package's homepage and the base of the screenshots' URLs")
set(PALVEX_MAINTAINER "The Palvex developers <maintainers@palvex.org>" CACHE STRING
    "Maintainer of the Debian package: name <address>")

set(PALVEX_DATA_DESTINATION "${CMAKE_INSTALL_DATADIR}/palvex")
file(RELATIVE_PATH palvex_data_from_bin "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${PALVEX_DATA_DESTINATION}")
if(NOT palvex_data_from_bin STREQUAL "../share/palvex")
  message(WARNING "The data is installed to ${PALVEX_DATA_DESTINATION}, which is not ../share/palvex "
                  "from ${CMAKE_INSTALL_BINDIR}: the installed game finds it only through PALVEX_DATA_DIR.")
endif()

# Every release has its entry, "## <version> — <YYYY-MM-DD>", in CHANGELOG.md; its date is
# the metainfo's, the man page's and the Debian changelog's.
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${PROJECT_SOURCE_DIR}/CHANGELOG.md")
file(STRINGS "${PROJECT_SOURCE_DIR}/CHANGELOG.md" palvex_release_heading ENCODING UTF-8
     REGEX "^## ${PROJECT_VERSION} — [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
if(NOT palvex_release_heading)
  message(FATAL_ERROR "CHANGELOG.md has no heading \"## ${PROJECT_VERSION} — YYYY-MM-DD\" for this version")
endif()
string(REGEX MATCH "([0-9]+)-([0-9]+)-([0-9]+)$" PALVEX_RELEASE_DATE "${palvex_release_heading}")
set(palvex_year ${CMAKE_MATCH_1})
math(EXPR palvex_month "${CMAKE_MATCH_2}")  # no leading zero: list indices and arithmetic
math(EXPR palvex_day "${CMAKE_MATCH_3}")

set(PALVEX_SCREENSHOTS "${PALVEX_HOMEPAGE}/raw/v${PROJECT_VERSION}/docs/screenshots")
set(palvex_gen "${CMAKE_CURRENT_BINARY_DIR}/packaging")
configure_file("${PROJECT_SOURCE_DIR}/packaging/org.palvex.Palvex.metainfo.xml.in"
               "${palvex_gen}/org.palvex.Palvex.metainfo.xml" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/packaging/palvex.6.in" "${palvex_gen}/palvex.6" @ONLY)

# Debian wants manual pages and changelogs compressed without a time stamp; man reads the
# compressed page on every system.
find_program(GZIP_PROGRAM gzip REQUIRED)
function(palvex_gzip file)
  execute_process(COMMAND "${GZIP_PROGRAM}" -9nkf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress ${file}")
  endif()
endfunction()
palvex_gzip("${palvex_gen}/palvex.6")

install(TARGETS palvex RUNTIME DESTINATION "${CMAKE_INSTALL_BINDIR}" COMPONENT program)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/data/" DESTINATION "${PALVEX_DATA_DESTINATION}" COMPONENT game)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/org.palvex.Palvex.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications" COMPONENT game)
install(DIRECTORY "${PROJECT_SOURCE_DIR}/packaging/icons/"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor" COMPONENT game)
install(FILES "${palvex_gen}/org.palvex.Palvex.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo" COMPONENT game)
install(FILES "${palvex_gen}/palvex.6.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man6" COMPONENT game)
install(FILES "${PROJECT_SOURCE_DIR}/README.md" "${PROJECT_SOURCE_DIR}/LICENSE" "${PROJECT_SOURCE_DIR}/CHANGELOG.md"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT game)

# ---- The Debian package ----

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(palvex_deb_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

# Debian's own layout, in a component a plain install leaves out: games' programs live in
# /usr/games (the data stays at ../share/palvex from there), the copyright file is in its
# machine-readable format, the package's changelog has its date in RFC 2822 form (weekday
# by Sakamoto's method, 0 = Sunday), and lintian is told which of its warnings do not
# apply to a package made outside the Debian archive.
set(palvex_month_offsets 0 3 2 5 0 3 5 1 4 6 2 4)
set(palvex_weekdays Sun Mon Tue Wed Thu Fri Sat)
set(palvex_months Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
math(EXPR palvex_month_index "${palvex_month} - 1")
list(GET palvex_month_offsets ${palvex_month_index} palvex_t)
set(palvex_y ${palvex_year})
if(palvex_month LESS 3)
  math(EXPR palvex_y "${palvex_y} - 1")
endif()
math(EXPR palvex_weekday "(${palvex_y} + ${palvex_y} / 4 - ${palvex_y} / 100 + ${palvex_y} / 400 + ${palvex_t} + ${palvex_day}) % 7")
list(GET palvex_weekdays ${palvex_weekday} palvex_weekday_name)
list(GET palvex_months ${palvex_month_index} palvex_month_name)
string(SUBSTRING "${PALVEX_RELEASE_DATE}" 8 2 palvex_day_2)
set(PALVEX_RELEASE_RFC2822 "${palvex_weekday_name}, ${palvex_day_2} ${palvex_month_name} ${palvex_year} 00:00:00 +0000")
configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/changelog.in" "${palvex_gen}/changelog.Debian" @ONLY)
palvex_gzip("${palvex_gen}/changelog.Debian")
configure_file("${PROJECT_SOURCE_DIR}/packaging/debian/copyright.in" "${palvex_gen}/copyright" @ONLY)
install(TARGETS palvex RUNTIME DESTINATION games COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES "${palvex_gen}/changelog.Debian.gz" "${palvex_gen}/copyright"
        DESTINATION "${CMAKE_INSTALL_DOCDIR}" COMPONENT debian EXCLUDE_FROM_ALL)
install(FILES "${PROJECT_SOURCE_DIR}/packaging/debian/lintian-overrides"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/lintian/overrides" RENAME palvex COMPONENT debian EXCLUDE_FROM_ALL)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME palvex)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "The Palvex developers")
set(CPACK_PACKAGE_CONTACT "${PALVEX_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE "${PROJECT_SOURCE_DIR}/LICENSE")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "light-cycle arena race in 3D")
set(CPACK_PACKAGE_DESCRIPTION
"Steer a motorbike over a square arena against one to three computer-driven
bikes. Every bike leaves a solid wall of light behind it; whoever runs into a
wall or off the arena crashes. Crashes are scored, and when every opponent is
out the race starts again with the scores kept.

Made for a handheld without a floating-point unit, the game draws its
fixed-point geometry through OpenGL ES 1.0 and EGL.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_COMPONENTS_ALL game debian)  # the program comes with debian, in /usr/games
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION games)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${PALVEX_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The overlay's font is opened by its path, which dpkg-shlibdeps cannot see.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)
