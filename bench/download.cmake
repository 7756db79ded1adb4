# One verified download against curl + openssl dgst over the same loopback server.
add_executable(bench_download_client ${CMAKE_CURRENT_LIST_DIR}/download/DownloadClient.cpp)
lumivra_warnings(bench_download_client)
target_link_libraries(bench_download_client PRIVATE lumivra_client)

add_executable(bench_download
  ${CMAKE_CURRENT_LIST_DIR}/download/DownloadBench.cpp
  ${CMAKE_CURRENT_LIST_DIR}/download/FileServer.cpp
  ${CMAKE_CURRENT_LIST_DIR}/download/FileServer.h)
lumivra_warnings(bench_download)
target_link_libraries(bench_download PRIVATE Qt6::Core Qt6::Network)
target_compile_definitions(bench_download PRIVATE
  BENCH_CLIENT_PATH="$<TARGET_FILE:bench_download_client>")
