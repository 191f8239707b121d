# Throughput of the text core on a 16 MiB page, with memmem, iconv and ICU's
# direct converter as yardsticks measured in the same run.
add_executable(bench_text ${CMAKE_CURRENT_LIST_DIR}/textbench.cpp)
target_link_libraries(bench_text PRIVATE lodestone_text benchmark::benchmark)
