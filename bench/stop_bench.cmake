# stop_bench: the time korvald takes from SIGTERM or SIGINT to its exit,
# idle, with idle clients, with an open transaction (rolled back) and
# during a long statement.  Included from bench/CMakeLists.txt; prints
# figures, is not a test.
if(TARGET korvald AND TARGET test_support)
  add_executable(stop_bench ${CMAKE_CURRENT_LIST_DIR}/stop_bench.cpp)
  target_link_libraries(stop_bench PRIVATE test_support dbclient base Threads::Threads)
  target_compile_definitions(stop_bench PRIVATE KORVALD_PATH="$<TARGET_FILE:korvald>")
  add_dependencies(stop_bench korvald)
endif()
