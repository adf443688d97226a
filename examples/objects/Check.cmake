# Runs PROGRAM over RULES and compares its standard output with EXPECTED.
execute_process(COMMAND ${PROGRAM} ${RULES} RESULT_VARIABLE status OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "exit status ${status}\n${out}${err}")
endif()
file(READ ${EXPECTED} expected)
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "output differs from ${EXPECTED}:\n${out}")
endif()
