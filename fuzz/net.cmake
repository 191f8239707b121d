# Fuzz targets of the web requests: the URL splits, the cookie store, and the
# request routine reading whole responses from a loopback server.
foreach(name url cookies response)
  add_executable(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp)
  target_link_libraries(fuzz_${name} PRIVATE lodestone_net)
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endforeach()
target_sources(fuzz_response PRIVATE ${PROJECT_SOURCE_DIR}/tests/fakes/fakedesktop.cpp
  ${PROJECT_SOURCE_DIR}/tests/fakes/fakeeventloop.cpp)
target_include_directories(fuzz_response PRIVATE ${PROJECT_SOURCE_DIR}/tests/fakes)
