# server_bench: SELECT of 100,000 rows x 6 columns through korvald and the
# client library, on SQLite and on PostgreSQL, against the same query in the
# sqlite3 shell and in psql.  Included from bench/CMakeLists.txt; prints
# figures, is not a test.  Starts korvald and a throw-away PostgreSQL cluster
# with the helpers of tests/support (the test_support library, which brings
# libpq).
if(TARGET korvald AND TARGET test_support)
  add_executable(server_bench ${CMAKE_CURRENT_LIST_DIR}/server_bench.cpp)
  target_link_libraries(server_bench PRIVATE test_support dbclient base SQLite::SQLite3)
  target_compile_definitions(server_bench PRIVATE KORVALD_PATH="$<TARGET_FILE:korvald>")
  add_dependencies(server_bench korvald)
endif()
