# Checks that each Windows module a user receives imports only DLLs that come with Windows, so that it
# runs with nothing beside it.
#   cmake -DOBJDUMP=<objdump> "-DMODULES=<file>;<file>..." -P check_imports.cmake
# Prints each module's import list.

cmake_minimum_required(VERSION 3.16)

# Compared without regard to case, as the Windows loader compares them.
set(allowed kernel32.dll advapi32.dll msvcrt.dll)

if(NOT OBJDUMP OR NOT MODULES)
  message(FATAL_ERROR "OBJDUMP and MODULES must be set")
endif()

set(failures "")
foreach(module IN LISTS MODULES)
  execute_process(COMMAND ${OBJDUMP} -p ${module} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} -p ${module} failed (${rc}): ${err}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\n]+" lines "${out}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^DLL Name: *" "" name "${line}")
    string(STRIP "${name}" name)
    list(APPEND names ${name})
    string(TOLOWER "${name}" lower)
    if(NOT lower IN_LIST allowed)
      string(APPEND failures "  ${module} imports ${name}\n")
    endif()
  endforeach()
  if(NOT names)
    string(APPEND failures "  ${module}: no import table found\n")
  endif()
  get_filename_component(file ${module} NAME)
  string(REPLACE ";" " " names "${names}")
  message(STATUS "${file}: ${names}")
endforeach()

if(failures)
  message(FATAL_ERROR "imports outside Windows' own DLLs:\n${failures}")
endif()
