# `make deb`: a Debian package of everything a user runs, built from a tree configured with
# CMAKE_INSTALL_PREFIX=/usr, so that the GStreamer plugin lands in Debian's multiarch folder
# and is found with no GST_PLUGIN_PATH. Its dependencies are read off the binaries by
# dpkg-shlibdeps: the runtime libraries only, never their -dev packages.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME glintara)
set(CPACK_PACKAGE_VENDOR "The Glintara developers")
set(CPACK_PACKAGE_CONTACT "The Glintara developers <glintara@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "turning kaleidoscope of a camera, a photo or a video")
set(CPACK_PACKAGE_DESCRIPTION
    "Glintara turns a picture into a kaleidoscope of 25 copies of a triangle\n\
cut from it, turning a degree a frame. glintara shows the live camera\n\
picture; glintara-render renders photos and video files, sound kept. The\n\
GStreamer element glintara and the frei0r filter glintara bring the same\n\
picture into GStreamer pipelines, FFmpeg, Kdenlive and Shotcut.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)  # glintara_VERSION_ARCH.deb
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The programs that host the plugins, and what the element needs around it in a pipeline.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS
    "ffmpeg, melt, kdenlive, gstreamer1.0-tools, gstreamer1.0-plugins-base, gstreamer1.0-plugins-bad")
set(CPACK_STRIP_FILES ON)
include(CPack)
