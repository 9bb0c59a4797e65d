# A committed generated table is what its generator makes: GENERATOR (a
# script under tools/, run with ARGS) writes OUTPUT, which must equal
# COMMITTED, both paths relative to SOURCE_DIR.
separate_arguments(arguments UNIX_COMMAND "${ARGS}")
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/${GENERATOR} ${arguments}
                OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${GENERATOR} failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${SOURCE_DIR}/${COMMITTED}
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${COMMITTED} differs from the generator's output (${OUTPUT})")
endif()
