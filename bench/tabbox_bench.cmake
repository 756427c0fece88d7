# tabbox_bench: 100,000 lines of 6 columns through the tabbox: add, rebuild,
# sort by one column, draw one screen (the draw needs an X server, e.g.
# xvfb-run).  Included from bench/CMakeLists.txt; prints figures, is not a
# test.
if(TARGET widgets)
  add_executable(tabbox_bench ${CMAKE_CURRENT_LIST_DIR}/tabbox_bench.cpp)
  target_link_libraries(tabbox_bench PRIVATE widgets)
endif()
