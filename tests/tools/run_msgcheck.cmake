# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Runs tidings-msgcheck on one fixture and compares what it prints and its exit status with the
# expected ones. Called by ctest with
#   -DTOOL=<tidings-msgcheck> -DEMULATOR=<runner or empty> -DDIR=<fixtures> -DCASE=<name> -DSTATUS=<n>
# The tool runs in DIR on the relative file <name>.xml, so its output holds no absolute path; the case
# "usage" runs it with no argument. Output is compared with <name>.out after CR LF becomes LF.
if(CASE STREQUAL "usage")
  set(arguments "")
else()
  set(arguments "${CASE}.xml")
endif()
execute_process(COMMAND ${EMULATOR} ${TOOL} ${arguments}
  WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE status)
string(REPLACE "\r\n" "\n" output "${output}")
string(REPLACE "\r\n" "\n" errors "${errors}")
file(READ ${DIR}/${CASE}.out expected)

set(failures "")
if(NOT status STREQUAL STATUS)
  string(APPEND failures "exit status ${status}, expected ${STATUS}\n")
endif()
if(CASE STREQUAL "usage")
  # The usage goes to the error stream, nothing to the output.
  if(NOT errors MATCHES "^usage: tidings-msgcheck <file>\n")
    string(APPEND failures "no usage text on the error stream:\n${errors}\n")
  endif()
endif()
if(NOT output STREQUAL expected)
  string(APPEND failures "output differs. Printed:\n${output}\nExpected:\n${expected}\n")
endif()
if(failures)
  message(FATAL_ERROR "tidings-msgcheck ${arguments}: ${failures}")
endif()
