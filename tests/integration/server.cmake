# The reference wallpaper service, on its own and with the client, over loopback.
if(TARGET lumivra_server_core)
  lumivra_add_test(NAME server_api_tests LABELS integration server LIBS lumivra_server_core SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerApiTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.h
  )

  lumivra_add_test(NAME server_process_tests LABELS integration server
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServerProcessTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ServerProcess.h
    ENVIRONMENT "LUMIVRA_SERVER_BINARY=$<TARGET_FILE:lumivra-server>")
  add_dependencies(server_process_tests lumivra-server)

  lumivra_add_test(NAME server_hostile_tests LABELS integration server
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ServerHostileTest.cpp ${CMAKE_CURRENT_LIST_DIR}/ServerProcess.h
    ENVIRONMENT "LUMIVRA_SERVER_BINARY=$<TARGET_FILE:lumivra-server>")
  add_dependencies(server_hostile_tests lumivra-server)

  lumivra_add_test(NAME server_client_tests LABELS integration server client LIBS lumivra_server_core SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerClientTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.cpp
  )

  lumivra_add_test(NAME server_export_tests LABELS integration server client SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerExportTest.cpp
    ENVIRONMENT "LUMIVRA_SERVER_BINARY=$<TARGET_FILE:lumivra-server>")
  add_dependencies(server_export_tests lumivra-server)
endif()
