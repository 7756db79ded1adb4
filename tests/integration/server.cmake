# The real wallpaper service over loopback: before well-behaved and hostile peers, with the client, and its
# export behind Debian's nginx.
if(TARGET lumivra-server)
  lumivra_add_test(NAME server_tests LABELS integration server SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServerTest.cpp
    ENVIRONMENT "LUMIVRA_SERVER_BINARY=$<TARGET_FILE:lumivra-server>")
  add_dependencies(server_tests lumivra-server)
endif()
