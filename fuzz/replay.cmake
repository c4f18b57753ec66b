# Runs every input file of INPUTS once through the libFuzzer binary FUZZER
# (libFuzzer executes file arguments once each and exits non-zero on a
# crash). With MAKE_SEEDS and TESTDATA, the folder is first filled with the
# seed corpus.
#
#   cmake -DFUZZER=path -DINPUTS=dir [-DMAKE_SEEDS=path -DTESTDATA=dir] -P replay.cmake
cmake_minimum_required(VERSION 3.25)

if(DEFINED MAKE_SEEDS)
  file(REMOVE_RECURSE "${INPUTS}")
  execute_process(COMMAND "${MAKE_SEEDS}" "${INPUTS}" "${TESTDATA}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "make_fuzz_seeds failed: ${status}")
  endif()
endif()

file(GLOB inputs LIST_DIRECTORIES false "${INPUTS}/*")
list(FILTER inputs EXCLUDE REGEX "/README[^/]*$")
list(LENGTH inputs count)
if(count EQUAL 0)
  message(STATUS "no inputs in ${INPUTS}")
  return()
endif()

execute_process(COMMAND "${FUZZER}" -rss_limit_mb=2048 -timeout=10 ${inputs}
  RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${status}) on the inputs of ${INPUTS}:\n${out}")
endif()
message(STATUS "${count} inputs replayed without a fault")
