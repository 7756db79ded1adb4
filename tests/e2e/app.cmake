# The installed program under a private X server with a tray host, talking to a loopback server: the
# scripted one of the test support, and the reference lumivra-server when it is part of the build.
if(TARGET lumivra-server)
  set(app_e2e_environment "LUMIVRA_SERVER_BINARY=$<TARGET_FILE:lumivra-server>")
endif()
lumivra_add_test(NAME AppEndToEndTest XVFB LABELS e2e app TIMEOUT 600
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppEndToEndTest.cpp
  ENVIRONMENT ${app_e2e_environment})
add_dependencies(AppEndToEndTest lumivra)
if(TARGET lumivra-server)
  add_dependencies(AppEndToEndTest lumivra-server)
endif()
