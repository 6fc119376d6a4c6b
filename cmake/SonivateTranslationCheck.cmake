# Fails when a translation file is not complete: run with cmake -P.
#   TS          the committed .ts file
#   OUT         a copy to bring up to date (optional, with LUPDATE and SOURCES_FILE)
#   LUPDATE     Qt's lupdate
#   SOURCES_FILE  the sources to scan, one path a line
#   STAMP       written when the file is complete (optional)
# With LUPDATE the copy is first brought up to date with the sources, so a
# text of the code that the file lacks shows as unfinished, and an entry the
# code no longer has as vanished. Then every message must have a finished,
# non-empty translation.

if(NOT TS OR NOT EXISTS "${TS}")
  message(FATAL_ERROR "translation check: no translation file '${TS}'")
endif()

set(checked "${TS}")
if(LUPDATE)
  if(NOT OUT OR NOT SOURCES_FILE)
    message(FATAL_ERROR "translation check: LUPDATE needs OUT and SOURCES_FILE")
  endif()
  file(STRINGS "${SOURCES_FILE}" sources)
  configure_file("${TS}" "${OUT}" COPYONLY)
  execute_process(COMMAND "${LUPDATE}" -silent -locations none ${sources} -ts "${OUT}"
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "translation check: lupdate failed (${status}):\n${output}")
  endif()
  set(checked "${OUT}")
endif()

file(READ "${checked}" content)
# One message at a time: its source and its translation element. The list
# separator and brackets of the texts are taken out first, as CMake's lists
# would split or join at them.
string(REPLACE ";" "," content "${content}")
string(REPLACE "[" "(" content "${content}")
string(REPLACE "]" ")" content "${content}")
string(REPLACE "</message>" "</message>;" messages "${content}")
set(problems "")
set(count 0)
foreach(message IN LISTS messages)
  if(NOT message MATCHES "<message")
    continue()
  endif()
  math(EXPR count "${count} + 1")
  string(REGEX MATCH "<source>([^<]*)</source>" source_match "${message}")
  set(source "${CMAKE_MATCH_1}")
  if(message MATCHES "<translation[^>]*type=\"(unfinished|vanished|obsolete)\"")
    string(APPEND problems "  ${CMAKE_MATCH_1}: ${source}\n")
  elseif(message MATCHES "<translation[^>]*/>" OR message MATCHES "<translation[^>]*></translation>")
    string(APPEND problems "  empty: ${source}\n")
  elseif(NOT message MATCHES "<translation")
    string(APPEND problems "  no translation: ${source}\n")
  endif()
endforeach()

if(count EQUAL 0)
  message(FATAL_ERROR "translation check: ${TS} holds no message")
endif()
if(problems)
  message(FATAL_ERROR "translation check: ${TS} is not complete (run the target sonivate_gui_lupdate, "
                      "then translate these):\n${problems}")
endif()
if(STAMP)
  file(WRITE "${STAMP}" "${count} messages translated\n")
endif()
message(STATUS "translation check: ${count} messages translated in ${TS}")
