# Embedding.FindPackage and Embedding.PkgConfig: builds examples/embedding
# against WORK_DIR/prefix (MODE find_package or pkg_config), runs it and
# compares its output with WORK_DIR/host.out. Embedding.AddSubdirectory
# (MODE add_subdirectory) configures it with the library's sources as a
# subproject and compiles the host's source only (linking would build the
# library once more).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Run.cmake)

set(prefix ${WORK_DIR}/prefix)
set(host_dir ${SOURCE_DIR}/examples/embedding)
set(build ${WORK_DIR}/${MODE})
file(REMOVE_RECURSE ${build})
file(MAKE_DIRECTORY ${build})

if(MODE STREQUAL "find_package")
  # No C++ standard is set here: the package brings C++20. The host finds
  # the library through the build tree's run path.
  kb_configure(${host_dir} ${build} -DCMAKE_PREFIX_PATH=${prefix})
  kb_run(${CMAKE_COMMAND} --build ${build})
  set(run ${build}/deducer_host)
elseif(MODE STREQUAL "add_subdirectory")
  kb_configure(${host_dir} ${build} -DDEDUCER_SOURCE_DIR=${SOURCE_DIR})
  # The subproject brings the library and nothing else.
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${build} --target help
                  OUTPUT_VARIABLE targets COMMAND_ERROR_IS_FATAL ANY)
  if(NOT targets MATCHES "(^|\n)kbcore: "
     OR targets MATCHES "(^|\n)(deducer|[a-z]+_tests|[a-z]+_bench): ")
    message(FATAL_ERROR "the subproject's targets:\n${targets}")
  endif()
  if(GENERATOR MATCHES "Ninja")
    kb_run(${CMAKE_COMMAND} --build ${build} --target CMakeFiles/deducer_host.dir/main.cpp.o)
  endif()
  return()
elseif(MODE STREQUAL "pkg_config")
  find_program(pkg_config pkg-config REQUIRED)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig)
  execute_process(COMMAND ${pkg_config} --modversion deducer OUTPUT_VARIABLE version
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  if(NOT version STREQUAL VERSION)
    message(FATAL_ERROR "pkg-config says version '${version}', the project ${VERSION}")
  endif()
  execute_process(COMMAND ${pkg_config} --cflags --libs deducer OUTPUT_VARIABLE flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # The headers compile warning-free in a host's own warning settings.
  kb_run(${LAUNCHER} ${CXX} -std=c++20 -Wall -Wextra -Wpedantic -Werror ${host_dir}/main.cpp
         ${flags} -o ${build}/deducer_host)
  set(ENV{LD_LIBRARY_PATH} ${prefix}/lib)
  set(run ${build}/deducer_host)
else()
  message(FATAL_ERROR "MODE is find_package, pkg_config or add_subdirectory, not '${MODE}'")
endif()

execute_process(COMMAND ${run} ${host_dir}/orders.clp RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(READ ${WORK_DIR}/host.out expected)
if(NOT status EQUAL 0 OR NOT out STREQUAL expected OR NOT err STREQUAL "")
  message(FATAL_ERROR "the host ran with status ${status}\n"
                      "output:\n${out}\nexpected:\n${expected}\nerrors:\n${err}")
endif()
