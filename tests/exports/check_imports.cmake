# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Checks that each Windows module a user receives imports only Windows' own DLLs (compared without regard
# to case, as the loader compares them), and prints each one's import list.
#   cmake -DOBJDUMP=<objdump> "-DMODULES=<file>;<file>..." -P check_imports.cmake
cmake_minimum_required(VERSION 3.16)
set(allowed kernel32.dll advapi32.dll msvcrt.dll)
set(failures "")
foreach(module IN LISTS MODULES)
  execute_process(COMMAND ${OBJDUMP} -p ${module} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
  string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${out}")
  string(REPLACE "DLL Name: " "" names "${lines}")
  if(NOT rc EQUAL 0 OR NOT names)
    string(APPEND failures "  ${module}: no import table read (${rc})\n")
  endif()
  foreach(name IN LISTS names)
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST allowed)
      string(APPEND failures "  ${module} imports ${name}\n")
    endif()
  endforeach()
  get_filename_component(file ${module} NAME)
  string(REPLACE ";" " " names "${names}")
  message(STATUS "${file}: ${names}")
endforeach()
if(failures OR NOT MODULES)
  message(FATAL_ERROR "imports outside Windows' own DLLs:\n${failures}")
endif()
