# The Debian package: `cpack -G DEB` in the build tree (scripts/package does it in one command).
# It holds what `cmake --install` installs under /usr: the two programs, the map pages, the menu
# entry, the icons, the AppStream file and the manual pages, and the package's copyright and
# changelog. The recorder's tools are not in it (they have no install rules). The libraries it
# depends on are found by dpkg-shlibdeps from the programs themselves.
include(GNUInstallDirs)

set(PELLISTER_PACKAGE_NAME pellister)
set(PELLISTER_MAINTAINER "Pellister maintainers <maintainers@pellister.com>")

# The package's own documents, as Debian keeps them: /usr/share/doc/<package>/.
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/${PELLISTER_PACKAGE_NAME})
configure_file(${PROJECT_SOURCE_DIR}/cmake/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
add_custom_command(
  OUTPUT ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
  COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/debian/changelog > ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz
  DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog
  VERBATIM)
add_custom_target(pellister_package_docs ALL DEPENDS ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz)
install(FILES ${PROJECT_SOURCE_DIR}/cmake/debian/copyright DESTINATION ${_doc})
install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.Debian.gz DESTINATION ${_doc})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${PELLISTER_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR "Pellister")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${PELLISTER_MAINTAINER})
set(CPACK_PACKAGE_INSTALL_DIRECTORY /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_NAME ${PELLISTER_PACKAGE_NAME})
set(CPACK_DEBIAN_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${PELLISTER_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "http://www.pellister.com")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Nothing listed by hand: the browser engine's helper process comes with its library's
# dependencies, the window system's, SVG and sound plugins with the Qt libraries.
# The first line is the summary, the lines after it the long text (CPack indents them; an empty
# line parts two paragraphs).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "viewer for the recordings of an in-car video recorder (dashcam)
Pellister loads the folder of a dashcam's SD card: its clips (AVI, MP4) with
their telemetry (the recorder's data files, NMEA and GPX logs, GoPro GPMF and
CAMM tracks inside MP4). It lists the recordings with thumbnails, kinds and
times and plays them at 1x with sound, at 2x to 32x and in reverse frame by
frame, straight on into the next clip, drawing the G-sensor curves, the speed
and heading and the GPS track on a map in step with the picture.

It shows whole trips on a timeline, saves frames, prints a report of a
moment, exports GPX tracks, CSV, a video with the telemetry burnt in and an
evidence package with hashes, and writes the recorder's configuration and
clock files. The package holds the viewer Corvana and pellister-cli, its
command-line companion.")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

include(CPack)
