# Builds targets of another build folder of this project (configuring it with its preset first
# when it is new): the packing tool carries the stub of the win-arm64 build and the runtime jars
# of the release build, which must exist before the tool is linked.
#   cmake -DSOURCE_DIR=... -DBUILD_DIR=... -DPRESET=... -DTARGETS=a;b -P build_other.cmake
if(NOT EXISTS ${BUILD_DIR}/CMakeCache.txt)
  execute_process(COMMAND ${CMAKE_COMMAND} --preset ${PRESET}
    WORKING_DIRECTORY ${SOURCE_DIR} RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "configuring ${BUILD_DIR} (cmake --preset ${PRESET}) failed")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${TARGETS}
  RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "building ${TARGETS} in ${BUILD_DIR} failed")
endif()
