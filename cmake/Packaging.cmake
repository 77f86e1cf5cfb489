# SPDX-License-Identifier: GPL-3.0-or-later
#
# The Debian package of the player and its command-line tools:
#   cmake --build build --target package     (or: cd build && cpack -G DEB)
# makes build/kinoverd_<version>-<revision>_<arch>.deb from what
# `cmake --install` installs, plus the package's copyright and changelog.
include(GNUInstallDirs)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kinoverd)
set(CPACK_PACKAGE_VENDOR "The Kinoverd developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "video player that broadcasts what it plays on the local network")
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# Whatever the umask of the build, the package's folders are rwxr-xr-x.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "The Kinoverd developers <developers@kinoverd.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://kinoverd.example/)
# Below the summary, which CPack makes the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Kinoverd plays MPEG files and Video CD tracks. It does not feed a file
straight to its decoder: it broadcasts the file on a free channel of the
local network as a paced stream of UDP multicast packets (time-to-live 1),
and plays that broadcast as it comes back. Any other station on the network
can tune in to the same channel.
.
The package also holds kinoverd-cast, a headless server that broadcasts
files on a channel, and kinoverd-tune, which writes what a channel carries
to a file or a pipe for any other player.")
# dpkg-shlibdeps finds the libraries the programs link. It cannot see the
# GStreamer plugins the player loads at run time: the MPEG program stream
# demultiplexer (plugins-bad), an MPEG video decoder (plugins-ugly or
# libav), the MPEG audio decoder and the sound server's output
# (plugins-good), ALSA's output where there is no sound server (alsa).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-plugins-bad, gstreamer1.0-plugins-ugly | gstreamer1.0-libav, gstreamer1.0-alsa")
# Faces for the Chinese texts of the windows and for the status pane's
# script; Qt's own dialogs in Chinese.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-wqy-microhei | fonts-noto-cjk, fonts-urw-base35, qt6-translations-l10n")

# The package's own documents: machine-readable copyright and a changelog.
set(kinoverd_debian_version ${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE})
set(kinoverd_package_docs ${CMAKE_BINARY_DIR}/packaging)
configure_file(packaging/copyright.in ${kinoverd_package_docs}/copyright @ONLY)
configure_file(packaging/changelog.Debian.in ${kinoverd_package_docs}/changelog.Debian @ONLY)
kinoverd_gzip(${kinoverd_package_docs}/changelog.Debian compressed_changelog)
add_custom_target(kinoverd_package_changelog ALL DEPENDS ${compressed_changelog})
install(FILES ${kinoverd_package_docs}/copyright ${compressed_changelog}
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kinoverd)

include(CPack)
