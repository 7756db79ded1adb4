# The installed program under a private X server with a tray host, talking to a loopback server.
lumivra_add_test(NAME AppEndToEndTest XVFB LABELS e2e app TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppEndToEndTest.cpp)
add_dependencies(AppEndToEndTest lumivra)
