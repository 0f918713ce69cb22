# Installation layout and the Debian package (cpack -G DEB; scripts/package
# builds it). Included last from the top CMakeLists.txt, after every target.
include(GNUInstallDirs)
add_subdirectory(${CMAKE_SOURCE_DIR}/packaging ${CMAKE_BINARY_DIR}/packaging)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tessora-viewer)
set(CPACK_PACKAGE_VENDOR "TessoraViewer developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "desktop client for Tessora network cameras")
set(CPACK_PACKAGE_DESCRIPTION
  "TessoraViewer shows up to sixteen Tessora network cameras in one window: live
MPEG-4, H.264 and Motion JPEG video, sound both ways, pan/tilt/zoom,
snapshots, and recordings by hand, on alarms and on schedules. The package
also holds tessora-cli, the command-line companion, and camsim, a camera
simulator.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "TessoraViewer developers <tessora-viewer@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries the programs link come from dpkg-shlibdeps (Qt's X11
# platform plugin comes with libqt6gui6, PulseAudio's client library with
# libqt6multimedia6). Added here is what is looked up at run time: the fonts
# the skin asks for (DejaVu Sans for Latin text, NanumGothic or Noto Sans CJK
# KR for Korean). No GStreamer elements: the viewer plays no media files and
# its sound goes through PulseAudio, so it runs without them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-nanum | fonts-noto-cjk, fonts-dejavu-core")
# Wayland sessions and the desktop's own file dialogs; the program works
# without them (X11 through XWayland, Qt's own dialogs).
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-gtk-platformtheme")

include(CPack)
