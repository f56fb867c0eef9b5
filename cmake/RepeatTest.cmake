# Runs a test program several times in a row and fails at the first run that
# fails, with that run's output: for a test whose passing once proves little
# (one that once failed now and then). Used as
#   cmake -DPROGRAM=path -DTIMES=n [-DARGUMENTS=a,b,...] -P RepeatTest.cmake
# ARGUMENTS are separated by commas (test functions to run, say).
if(NOT PROGRAM OR NOT TIMES)
  message(FATAL_ERROR "RepeatTest.cmake needs PROGRAM and TIMES")
endif()
string(REPLACE "," ";" arguments "${ARGUMENTS}")
foreach(run RANGE 1 ${TIMES})
  execute_process(COMMAND ${PROGRAM} ${arguments} RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "run ${run} of ${TIMES} failed (${status}):\n${output}")
  endif()
endforeach()
message(STATUS "${TIMES} runs in a row passed: ${PROGRAM} ${ARGUMENTS}")
