# One verified download against curl + openssl dgst over the same loopback server.
add_executable(bench_download_client ${CMAKE_CURRENT_LIST_DIR}/download/DownloadClient.cpp)
lumivra_warnings(bench_download_client)
target_link_libraries(bench_download_client PRIVATE lumivra_client)

add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/download/DownloadBench.cpp)
lumivra_warnings(bench_download)
target_link_libraries(bench_download PRIVATE lumivra_test_support)
target_compile_definitions(bench_download PRIVATE
  BENCH_CLIENT_PATH="$<TARGET_FILE:bench_download_client>")
