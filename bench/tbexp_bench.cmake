# tbexp_bench: 100,000 lines of 6 columns exported as the export dialog
# writes them, all data and as shown (sorted, one column hidden).  Needs an
# X server (e.g. xvfb-run).  Included from bench/CMakeLists.txt; prints
# figures, is not a test.
if(TARGET forms)
  add_executable(tbexp_bench ${CMAKE_CURRENT_LIST_DIR}/tbexp_bench.cpp)
  target_link_libraries(tbexp_bench PRIVATE forms)
endif()
