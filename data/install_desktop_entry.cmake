# SPDX-License-Identifier: GPL-3.0-or-later
# Run by `cmake --install`: writes the menu entry with the full path of the installed program.
# Expects TONALYX_PRODUCT_NAME, TONALYX_BINDIR, TONALYX_DATADIR and TONALYX_DESKTOP_TEMPLATE.
cmake_path(ABSOLUTE_PATH TONALYX_BINDIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
  OUTPUT_VARIABLE bindir)
cmake_path(ABSOLUTE_PATH TONALYX_DATADIR BASE_DIRECTORY "${CMAKE_INSTALL_PREFIX}"
  OUTPUT_VARIABLE datadir)
set(TONALYX_INSTALLED_PROGRAM "${bindir}/tonalyx")
# A path with blanks or other reserved characters is quoted as the desktop entry rules ask: inside
# double quotes, " ` $ and \ take a backslash, and every backslash is then doubled once more
# because the whole value is itself an escaped string.
if(TONALYX_INSTALLED_PROGRAM MATCHES "[] \t\n\"'\\><~|&;$*?#()`[]")
  string(REGEX REPLACE "([\"`$\\])" "\\\\\\1" quoted "${TONALYX_INSTALLED_PROGRAM}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  set(TONALYX_INSTALLED_PROGRAM "\"${quoted}\"")
endif()

cmake_path(GET TONALYX_DESKTOP_TEMPLATE STEM LAST_ONLY entry_name)
# DESTDIR stages the files elsewhere (for packaging); the entry names where they will end up.
set(entry "$ENV{DESTDIR}${datadir}/applications/${entry_name}")
message(STATUS "Installing: ${entry}")
configure_file("${TONALYX_DESKTOP_TEMPLATE}" "${entry}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${entry}")
