# The web request routine against libcurl used plainly, fetching the same
# bodies from the tests' loopback server (run: bench_net). Each fetch runs in
# a process of its own: bench_net_fetch links no Qt, so its baseline is that
# of a plain process; bench_net_fetch_qt runs the routine with the Qt host.
if(TARGET lodestone_fakehost AND TARGET net_tests)
  add_executable(bench_net_fetch ${CMAKE_CURRENT_LIST_DIR}/netfetch.cpp)
  target_link_libraries(bench_net_fetch PRIVATE lodestone_net lodestone_fakehost CURL::libcurl)

  add_executable(bench_net
    ${CMAKE_CURRENT_LIST_DIR}/netbench.cpp
    ${PROJECT_SOURCE_DIR}/tests/net/loopbackserver.cpp)
  target_include_directories(bench_net PRIVATE ${PROJECT_SOURCE_DIR}/tests/net)
  get_target_property(net_test_definitions net_tests COMPILE_DEFINITIONS)
  target_compile_definitions(bench_net PRIVATE ${net_test_definitions})
  add_dependencies(bench_net bench_net_fetch)

  if(TARGET lodestone_gui)
    add_executable(bench_net_fetch_qt ${CMAKE_CURRENT_LIST_DIR}/netfetch.cpp)
    target_compile_definitions(bench_net_fetch_qt PRIVATE LODESTONE_BENCH_QT_HOST)
    target_link_libraries(bench_net_fetch_qt PRIVATE lodestone_gui lodestone_net CURL::libcurl)
    add_dependencies(bench_net bench_net_fetch_qt)
  endif()
endif()
