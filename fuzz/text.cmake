# Fuzz targets of the text core: the fast searches against their literal
# form, the marker helpers, the line reader and the code-page conversions.
foreach(name textsearch markers readline codepage)
  add_executable(fuzz_${name} ${CMAKE_CURRENT_LIST_DIR}/fuzz_${name}.cpp)
  target_link_libraries(fuzz_${name} PRIVATE lodestone_text)
  target_include_directories(fuzz_${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/text)
  target_compile_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(fuzz_${name} PRIVATE -fsanitize=fuzzer)
endforeach()
