# The reference wallpaper service over loopback: in this process, on its own and with the client; and the
# real executable, before hostile peers and behind Debian's nginx.
if(TARGET lumivra_server_core)
  lumivra_add_test(NAME server_api_tests LABELS integration server client LIBS lumivra_server_core SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerApiTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerClientTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.h
  )

  lumivra_add_test(NAME server_process_tests LABELS integration server client SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerProcessTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerHostileTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerExportTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerProcess.h
    ENVIRONMENT "LUMIVRA_SERVER_BINARY=$<TARGET_FILE:lumivra-server>")
  add_dependencies(server_process_tests lumivra-server)
endif()
