# The committed code-page tables are what tools/gen_codepages.py makes of
# the published tables kept in tests/data/codepages/.
execute_process(COMMAND ${PYTHON} ${SOURCE_DIR}/tools/gen_codepages.py ${SOURCE_DIR}/tests/data/codepages
                OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "tools/gen_codepages.py failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${SOURCE_DIR}/src/runtime/code_page_tables.cpp
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "src/runtime/code_page_tables.cpp differs from the generator's output (${OUTPUT})")
endif()
