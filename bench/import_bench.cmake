# import_bench: rows per second of kvsql's import of a CSV file into a
# 6-column table through korvald, against the same rows as INSERT
# statements in one transaction run by kvsql -f.  Included from
# bench/CMakeLists.txt; prints figures, is not a test.
if(TARGET korvald AND TARGET kvsql AND TARGET test_support)
  add_executable(import_bench ${CMAKE_CURRENT_LIST_DIR}/import_bench.cpp)
  target_link_libraries(import_bench PRIVATE test_support)
  target_compile_definitions(import_bench PRIVATE KORVALD_PATH="$<TARGET_FILE:korvald>"
                                                  KVSQL_PATH="$<TARGET_FILE:kvsql>")
  add_dependencies(import_bench korvald kvsql)
endif()
