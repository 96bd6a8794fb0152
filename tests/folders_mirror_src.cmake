# SPDX-License-Identifier: GPL-3.0-or-later
# Every folder of tests/ is a folder of src/ (the unit suites of that folder's library), or one of
# the folders that belong to no library: the whole program, what the suites share, the installed
# program and the fuzzer, with whatever lies below those.
#   cmake -DSOURCE_DIR=<the repository> -P tests/folders_mirror_src.cmake
cmake_minimum_required(VERSION 3.25)
set(outside_src program support e2e fuzz)

file(GLOB_RECURSE entries LIST_DIRECTORIES true RELATIVE "${SOURCE_DIR}/tests"
  "${SOURCE_DIR}/tests/*")
set(strays)
foreach(entry IN LISTS entries)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/tests/${entry}")
    continue()
  endif()
  string(REGEX REPLACE "/.*" "" top "${entry}")
  if(top IN_LIST outside_src)
    continue()
  endif()
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/src/${entry}")
    list(APPEND strays "tests/${entry}")
  endif()
endforeach()

if(strays)
  list(JOIN strays ", " named)
  message(FATAL_ERROR "folders of tests/ with no folder of src/ to match: ${named}")
endif()
