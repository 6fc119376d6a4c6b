# sonivate-make-demo's command line, run in an empty folder WORK: --help
# prints the usage and exits 0, an unknown option or a bad count exits 2
# with a message, and none of them makes a file or a folder (a folder named
# like an option least of all).
#   cmake -DDEMO=<sonivate-make-demo> -DWORK=<folder> -P make_demo_options.cmake

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

function(expect_run expected_status expected_text)
  execute_process(COMMAND "${DEMO}" ${ARGN}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status STREQUAL expected_status)
    message(FATAL_ERROR "'${ARGN}': status ${status}, expected ${expected_status}\n${out}${err}")
  endif()
  # Help goes to the standard output, refusals to the error output.
  if(expected_status STREQUAL "0")
    set(text "${out}")
  else()
    set(text "${err}")
  endif()
  string(FIND "${text}" "${expected_text}" at)
  if(at LESS 0)
    message(FATAL_ERROR "'${ARGN}': no '${expected_text}' in\n${out}${err}")
  endif()
  file(GLOB made LIST_DIRECTORIES true "${WORK}/*" "${WORK}/.*")
  if(made)
    message(FATAL_ERROR "'${ARGN}' made ${made}")
  endif()
endfunction()

expect_run(0 "usage:" --help)
expect_run(0 "usage:" -h)
expect_run(0 "usage:" demo --help)
expect_run(2 "unknown option --bogus" --bogus)
expect_run(2 "unknown option -x" -x)
expect_run(2 "unknown option --out" --out 3 1)
expect_run(2 "unknown option -demo" -demo)
expect_run(2 "usage:" demo 0 1)
expect_run(2 "usage:" demo 3 x)
expect_run(2 "usage:")
