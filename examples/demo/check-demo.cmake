# Copyright 2026 The Tidings developers
# SPDX-License-Identifier: Apache-2.0

# Runs tidings-demo and compares its output with the transcript, line by line, except the last line,
# "Trace log: <path>", which must name a trace log that this run wrote.
#
#   cmake -DDEMO=<program> -DEXPECTED=<transcript> -DACTUAL=<output copy> [-DEMULATOR=<runner>] -P check-demo.cmake
cmake_minimum_required(VERSION 3.16)

foreach(var DEMO EXPECTED ACTUAL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check-demo.cmake: ${var} is not set")
  endif()
endforeach()

execute_process(COMMAND ${EMULATOR} ${DEMO}
  RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE errors TIMEOUT 100)
string(REPLACE "\r\n" "\n" output "${output}")
file(WRITE ${ACTUAL} "${output}")
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "tidings-demo failed (${rc}).\nstdout:\n${output}\nstderr:\n${errors}")
endif()
if(NOT errors STREQUAL "")
  message(FATAL_ERROR "tidings-demo wrote to stderr:\n${errors}")
endif()

# Split off the last line.
if(NOT output MATCHES "^(.*\n)Trace log: ([^\n]+)\n$")
  message(FATAL_ERROR "the output does not end in a \"Trace log: <path>\" line:\n${output}")
endif()
set(body "${CMAKE_MATCH_1}")
set(trace_file "${CMAKE_MATCH_2}")
if(EMULATOR AND trace_file MATCHES "^[A-Za-z]:\\\\")
  # A Windows path, as the program saw it under Wine.
  execute_process(COMMAND winepath -u "${trace_file}" OUTPUT_VARIABLE trace_file OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()

file(READ ${EXPECTED} expected)
string(REPLACE "\r\n" "\n" expected "${expected}")
if(NOT body STREQUAL expected)
  # Name the first line that differs; the whole output is in ${ACTUAL}.
  set(number 1)
  set(rest_actual "${body}")
  set(rest_expected "${expected}")
  while(TRUE)
    string(FIND "${rest_actual}" "\n" end_actual)
    string(FIND "${rest_expected}" "\n" end_expected)
    set(got "(end of output)")
    set(want "(end of transcript)")
    if(NOT end_actual EQUAL -1)
      string(SUBSTRING "${rest_actual}" 0 ${end_actual} got)
    endif()
    if(NOT end_expected EQUAL -1)
      string(SUBSTRING "${rest_expected}" 0 ${end_expected} want)
    endif()
    if(NOT got STREQUAL want OR end_actual EQUAL -1 OR end_expected EQUAL -1)
      break()
    endif()
    math(EXPR from_actual "${end_actual} + 1")
    math(EXPR from_expected "${end_expected} + 1")
    string(SUBSTRING "${rest_actual}" ${from_actual} -1 rest_actual)
    string(SUBSTRING "${rest_expected}" ${from_expected} -1 rest_expected)
    math(EXPR number "${number} + 1")
  endwhile()
  message(FATAL_ERROR "the output differs from ${EXPECTED} at line ${number}:\n"
    "  expected: ${want}\n  actual:   ${got}\nThe whole output is in ${ACTUAL}.")
endif()

# The demo removes the old trace log before it loads the library, so a log that holds the calls of
# this run shows that the trace switch it set was read.
if(NOT EXISTS "${trace_file}" OR IS_DIRECTORY "${trace_file}")
  message(FATAL_ERROR "the trace log ${trace_file} does not exist")
endif()
file(READ "${trace_file}" trace)
if(trace STREQUAL "")
  message(FATAL_ERROR "the trace log ${trace_file} is empty")
endif()
foreach(call "Enter Fun AddMessage" "Enter Fun EchoMsg" "Enter Fun GetNextMessage")
  string(FIND "${trace}" "${call}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the trace log ${trace_file} has no \"${call}\" line")
  endif()
endforeach()
