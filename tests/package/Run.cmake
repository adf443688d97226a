# Steps of the package tests. The callers pass GENERATOR, MAKE_PROGRAM,
# CXX and LAUNCHER (the parent build's).

# kb_run(<command> <args>...): runs a command, failing the script with its
# output when it fails.
function(kb_run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    list(JOIN ARGN " " command)
    message(FATAL_ERROR "failed (${status}): ${command}\n${out}")
  endif()
endfunction()

# kb_configure(<source> <build> <cache arguments>...): configures a Release
# build with the parent build's generator, compiler and compiler launcher.
function(kb_configure source build)
  set(args -S ${source} -B ${build} -G ${GENERATOR} -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_CXX_COMPILER=${CXX})
  if(MAKE_PROGRAM)
    list(APPEND args -DCMAKE_MAKE_PROGRAM=${MAKE_PROGRAM})
  endif()
  if(LAUNCHER)
    list(APPEND args -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER})
  endif()
  kb_run(${CMAKE_COMMAND} ${args} ${ARGN})
endfunction()
