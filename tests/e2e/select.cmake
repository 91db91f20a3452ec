# Record selection through the tabrix executable: field conditions, the word
# filter, sorting and column lists, on tables written by python3-dbf (Debian's
# package, loaded only by /usr/bin/python3).
add_test(NAME select_end_to_end
  COMMAND /usr/bin/python3 ${CMAKE_CURRENT_SOURCE_DIR}/test_select.py $<TARGET_FILE:tabrix>)
set_tests_properties(select_end_to_end PROPERTIES TIMEOUT 600)
