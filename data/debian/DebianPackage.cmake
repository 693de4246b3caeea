# `cpack -G DEB` in a release build (scripts/make-deb.sh runs it):
# varno_<version>_amd64.deb, holding what `cmake --install` puts under /usr
# plus the copyright file and changelog every Debian package carries. Those
# two are a component of their own that `cmake --install` leaves out, as a
# user's ~/.local has no use for them.

set(VARNO_PACKAGE_MAINTAINER "The VARNO MUSIC developers <developers@varno.org>"
    CACHE STRING "The Debian package's maintainer, as \"Name <address>\"")

# The changelog's date is the release date in the form Debian wants
# ("Sun, 06 Dec 2026 00:00:00 +0000").
execute_process(
  COMMAND date --rfc-email --utc --date ${VARNO_RELEASE_DATE}
  OUTPUT_VARIABLE VARNO_RELEASE_DATE_RFC2822
  OUTPUT_STRIP_TRAILING_WHITESPACE
  COMMAND_ERROR_IS_FATAL ANY)
set(VARNO_DEBIAN_DIR ${CMAKE_BINARY_DIR}/debian)
configure_file(${CMAKE_CURRENT_LIST_DIR}/copyright ${VARNO_DEBIAN_DIR}/copyright @ONLY)
configure_file(${CMAKE_CURRENT_LIST_DIR}/changelog.in ${VARNO_DEBIAN_DIR}/changelog @ONLY)
# Compressed here rather than at build time: the changelog only changes when
# the project is configured again.
execute_process(COMMAND gzip -9 -n -f -k changelog WORKING_DIRECTORY ${VARNO_DEBIAN_DIR} COMMAND_ERROR_IS_FATAL ANY)
install(FILES ${VARNO_DEBIAN_DIR}/copyright ${VARNO_DEBIAN_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian EXCLUDE_FROM_ALL)

# cpack installs without building everything first: the release build also
# holds the benchmarks and the tools, which the package does not ship, so
# scripts/make-deb.sh builds only what is installed.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varno)
set(CPACK_PACKAGE_VENDOR "The VARNO MUSIC developers")
set(CPACK_PACKAGE_CONTACT "${VARNO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "music library and player for the desktop")
# Debian wants the long description in lines of under 80 characters.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "VARNO MUSIC keeps a library of the audio files you add, reads their tags"
  "and plays them through a queue with shuffle, repeat and history. It keeps"
  "standard, smart and folder playlists and favourites, draws a seekable"
  "waveform of the playing song and caches cover art. Edits are kept in the"
  "library and never written into your files."
  ""
  "varno-cli works on the same library from a terminal.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Both components, the programs' and Debian's, in one package.
set(CPACK_COMPONENTS_ALL Unspecified debian)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# dpkg-shlibdeps finds the libraries the programs link; Qt loads its SVG
# icon engine as a plug-in, which it cannot see.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "pipewire-pulse | pulseaudio")
# Qt 6.4 on a Wayland desktop without its Wayland plug-in runs through
# XWayland.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "playerctl, qt6-wayland")
include(CPack)
