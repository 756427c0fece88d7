# torvane_bench: a SELECT of 100,000 rows x 6 columns from korvald shown in
# the viewer's result table, through the query form's callback, with the
# time and the peak memory of the viewer process (needs an X server, e.g.
# xvfb-run).  Included from bench/CMakeLists.txt; prints figures, is not a
# test.  Usage: torvane_bench [rows].
if(TARGET app AND TARGET korvald AND TARGET test_support)
  add_executable(torvane_bench ${CMAKE_CURRENT_LIST_DIR}/torvane_bench.cpp)
  target_link_libraries(torvane_bench PRIVATE app test_support SQLite::SQLite3)
  target_compile_definitions(torvane_bench PRIVATE KORVALD_PATH="$<TARGET_FILE:korvald>")
  add_dependencies(torvane_bench korvald)
endif()
