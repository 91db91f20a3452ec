# Writes the Ansi script of a golden case's table with write_sql_script and
# compares it byte for byte with the case's expected file (no command-line
# switch selects the Ansi dialect, so the golden harness cannot run it).
#   cmake -DWRITER=... -DCASE=folder -DOUTPUT=file -P ansi_golden.cmake
execute_process(COMMAND ${WRITER} ansi ${CASE}/table.dbf ${OUTPUT} rowid names RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "write_sql_script failed: ${status}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUTPUT} ${CASE}/expected RESULT_VARIABLE differs)
if(differs)
  file(READ ${OUTPUT} written)
  message(FATAL_ERROR "${OUTPUT} differs from ${CASE}/expected; written:\n${written}")
endif()
