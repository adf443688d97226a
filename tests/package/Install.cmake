# Embedding.Install: builds the library alone and installs it into a fresh
# WORK_DIR/prefix, then checks what the prefix holds.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... [-DMAKE_PROGRAM=...]
#         -DCXX=... [-DLAUNCHER=...] [-DWERROR=ON] -P Install.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Run.cmake)

set(build ${WORK_DIR}/build)
set(prefix ${WORK_DIR}/prefix)
kb_configure(${SOURCE_DIR} ${build} -DCMAKE_INSTALL_PREFIX=${prefix} -DCMAKE_INSTALL_LIBDIR=lib
             -DKB_BUILD_SHELL=OFF -DKB_BUILD_TESTS=OFF -DKB_BUILD_BENCH=OFF -DKB_BUILD_PYTHON=OFF
             -DKB_BUILD_FORMS=OFF
             -DKB_WERROR=${WERROR})
kb_run(${CMAKE_COMMAND} --build ${build})
file(REMOVE_RECURSE ${prefix})
kb_run(${CMAKE_COMMAND} --install ${build})

# The layout hosts rely on: the library, the public headers and the
# package files; nothing of the program, and no internal header.
foreach(f lib/libkbcore.so include/deducer/Engine.h include/deducer/Export.h
          include/deducer/HostFunction.h include/deducer/Value.h
          include/deducer/Version.h lib/cmake/Deducer/DeducerConfig.cmake
          lib/cmake/Deducer/DeducerConfigVersion.cmake lib/cmake/Deducer/DeducerTargets.cmake
          lib/pkgconfig/deducer.pc)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE headers RELATIVE ${prefix}/include ${prefix}/include/*)
list(SORT headers)
if(NOT headers STREQUAL "deducer/Engine.h;deducer/Export.h;deducer/HostFunction.h;deducer/Value.h;deducer/Version.h")
  message(FATAL_ERROR "installed headers: ${headers}")
endif()
if(EXISTS ${prefix}/bin)
  message(FATAL_ERROR "installed, but should not be: bin")
endif()

# The library may be loaded after the program started (dlopen: language
# bindings, plugins): no thread-local variable of it asks for static TLS.
find_program(readelf readelf)
if(readelf)
  execute_process(COMMAND ${readelf} -d ${prefix}/lib/libkbcore.so
                  OUTPUT_VARIABLE dynamic COMMAND_ERROR_IS_FATAL ANY)
  if(dynamic MATCHES "STATIC_TLS")
    message(FATAL_ERROR "libkbcore.so needs static TLS: dlopen refuses it")
  endif()
endif()

# The library exports the public API alone: every function it exports
# outside the C++ library's own templates is in namespace deducer.
find_program(nm nm)
if(nm)
  execute_process(COMMAND ${nm} -D -C --defined-only ${prefix}/lib/libkbcore.so
                  OUTPUT_VARIABLE symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "[0-9a-f]+ [TW] [^\n]*" functions "${symbols}")
  foreach(f ${functions})
    if(NOT f MATCHES " [TW] (deducer::|std::|typeinfo|vtable|operator)")
      message(FATAL_ERROR "exported, but not public: ${f}")
    endif()
  endforeach()
  if(NOT symbols MATCHES "deducer::Engine::Run")
    message(FATAL_ERROR "the public API is not exported:\n${symbols}")
  endif()
endif()
