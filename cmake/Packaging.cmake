# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package, made by CPack from the same install rules as `cmake --install`:
# `scripts/package.sh` builds it with Debian's compiler flags; `cpack` in any build folder of the
# program makes one from that build. Installed under /usr, stripped, with the runtime libraries
# that dpkg-shlibdeps finds the binary linked to, and the data it needs but does not link.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tonalyx)
# The product version, as --version and the description show it; the file version is the
# build's own business.
set(CPACK_PACKAGE_VERSION ${TONALYX_PRODUCT_VERSION})
set(CPACK_PACKAGE_VENDOR "Tonalyx project")
set(CPACK_PACKAGE_CONTACT ${TONALYX_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "audition the sounds of a General MIDI / GS synthesiser")
# CPack puts the summary above it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Tonalyx shows 128 program buttons, 128 bank buttons and an on-screen piano.
A press on a button selects that program or GS variation and sounds a
preview note for as long as it is held, and the GS name of the selected tone
is shown.
.
It plays on a built-in GS synthesiser (FluidSynth with the FluidR3 GM and GS
SoundFonts, and SoundFonts of the user's own), on the ALSA sequencer's ports
and on the MIDI inputs of a running JACK server.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE https://tonalyx.example/)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fluid-soundfont-gm, fluid-soundfont-gs, fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# Packaging installs what is already built: the scripts and the tests build the program first, and
# a build folder with the tests need not build them all again to be packaged.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
include(CPack)
