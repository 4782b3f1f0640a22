# The Debian package: `cpack -G DEB` in the build folder (or sh scripts/package)
# writes tarnwick_VERSION_ARCH.deb. Its library dependencies are computed by
# dpkg-shlibdeps; the rest are programs and plugins that no library names.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tarnwick)
set(CPACK_PACKAGE_VENDOR Quillmark)
set(CPACK_PACKAGE_CONTACT "Tarnwick maintainers <tarnwick@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://www.tarnwick.example/")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turn SWF movies into MP4 slide-show videos")
set(CPACK_PACKAGE_DESCRIPTION
  "Tarnwick takes the pictures and the MP3 sound out of SWF (Flash) movies and
has FFmpeg encode them as H.264 MP4 videos: one video per movie, or all movies
combined into one, each picture shown for a chosen time.
.
The package holds the window (tarnwick), the same conversion for scripts
(tarnwick-batch), Tarnwick's SWF extractor (tarnwick-swfextract) and a few
example movies.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
# Installed programs carry no debugging sections.
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ffmpeg encodes every video; the Qt platform plugins (X11, Wayland) are
# loaded at run time, so no library dependency brings them in.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "ffmpeg, qt6-qpa-plugins")
# Opening the output folder and web pages goes through xdg-open; recording
# movies as they play needs Chromium.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils, chromium")

include(CPack)
