# Fuzz targets of the web requests: the URL splits and the cookie store.
foreach(name url cookies)
  add_executable(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp)
  target_link_libraries(fuzz_${name} PRIVATE lodestone_net)
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endforeach()
