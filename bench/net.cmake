# The web request routine against the curl command-line tool, fetching the
# same bodies from the tests' loopback server (run: bench_net).
if(TARGET lodestone_fakehost AND TARGET net_tests)
  add_executable(bench_net
    ${CMAKE_CURRENT_LIST_DIR}/netbench.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/loopbackserver.cpp)
  target_include_directories(bench_net PRIVATE ${PROJECT_SOURCE_DIR}/tests/net)
  get_target_property(net_test_definitions net_tests COMPILE_DEFINITIONS)
  target_compile_definitions(bench_net PRIVATE ${net_test_definitions})
  target_link_libraries(bench_net PRIVATE lodestone_net lodestone_fakehost)
  if(TARGET lodestone_gui)
    target_compile_definitions(bench_net PRIVATE LODESTONE_BENCH_GUI)
    target_link_libraries(bench_net PRIVATE lodestone_gui)
  endif()
endif()
