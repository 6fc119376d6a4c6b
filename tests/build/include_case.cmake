# One include boundary case (see CMakeLists.txt): compiles "#include HEADER"
# with -I for each of INCLUDES and checks that HEADER was found (EXPECT
# found) or reported missing (EXPECT missing).
file(MAKE_DIRECTORY ${WORK})
set(probe ${WORK}/probe.cpp)
file(WRITE ${probe} "#include <${HEADER}>\n")
set(args -std=c++20 -fsyntax-only)
foreach(dir IN LISTS INCLUDES)
  list(APPEND args -I${dir})
endforeach()
execute_process(COMMAND ${COMPILER} ${args} ${probe}
  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
string(REGEX MATCH "(No such file or directory|file not found)" notFound "${err}")
if(EXPECT STREQUAL "found")
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${HEADER} should be reachable but does not compile:\n${err}")
  endif()
elseif(result EQUAL 0)
  message(FATAL_ERROR "${HEADER} is reachable; the include path lets this folder see a folder above it")
elseif(NOT notFound)
  message(FATAL_ERROR "the probe failed for another reason than a missing ${HEADER}:\n${err}")
endif()
