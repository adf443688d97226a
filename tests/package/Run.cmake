# kb_run(<command> <args>...): runs a command, failing the script with its
# output when it fails.
function(kb_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
endfunction()
