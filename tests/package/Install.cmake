# Embedding.Install: builds the library alone and installs it into a fresh
# WORK_DIR/prefix, then checks what the prefix holds.
#   cmake -DSOURCE_DIR=... -DWORK_DIR=... -DGENERATOR=... [-DMAKE_PROGRAM=...]
#         -DCXX=... [-DLAUNCHER=...] [-DWERROR=ON] -P Install.cmake
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/Run.cmake)

set(build ${WORK_DIR}/build)
set(prefix ${WORK_DIR}/prefix)
kb_configure(${SOURCE_DIR} ${build} -DCMAKE_INSTALL_PREFIX=${prefix} -DCMAKE_INSTALL_LIBDIR=lib
             -DKB_BUILD_SHELL=OFF -DKB_BUILD_TESTS=OFF -DKB_BUILD_BENCH=OFF -DKB_WERROR=${WERROR})
kb_run(${CMAKE_COMMAND} --build ${build})
file(REMOVE_RECURSE ${prefix})
kb_run(${CMAKE_COMMAND} --install ${build})

# The layout hosts rely on; nothing of the program, and no header internal
# to the library.
foreach(f lib/libkbcore.so include/deducer/KbVersion.h include/deducer/engine/Deducer.h
          include/deducer/core/KbValue.h include/deducer/libraries/MathPackage.h
          lib/cmake/Deducer/DeducerConfig.cmake lib/cmake/Deducer/DeducerConfigVersion.cmake
          lib/cmake/Deducer/DeducerTargets.cmake lib/pkgconfig/deducer.pc)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
foreach(f bin include/deducer/engine/DeducerParseText.h include/deducer/tools)
  if(EXISTS ${prefix}/${f})
    message(FATAL_ERROR "installed, but should not be: ${f}")
  endif()
endforeach()
