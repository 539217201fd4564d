# cpack -G DEB in the build tree: one package with both tools, their models
# and licence notices, and the manual pages, installed under /usr. Its
# dependencies come from dpkg-shlibdeps, i.e. from the shared libraries the
# executables actually link.
set(LOOM_PACKAGE_MAINTAINER "loom maintainers <loom@localhost>" CACHE STRING
  "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME loom)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${LOOM_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "person masks and alpha mattes for every frame of a video")
set(CPACK_PACKAGE_DESCRIPTION "figureloom writes a person mask for every frame of a video as a stream of
PGM images; alphaloom writes the alpha matte of a compiled MODNet model for
every frame of a 1280x720 video as raw 8-bit frames. Both report progress as
JSON lines on standard error, and pipe into ffmpeg. The person detection,
person segmentation and face detection models they use ship with them, with
their licences.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
