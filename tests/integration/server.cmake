# The reference wallpaper service, on its own and with the client, over loopback.
if(TARGET lumivra_server_core)
  lumivra_add_test(NAME server_api_tests LABELS integration server LIBS lumivra_server_core SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/ServerApiTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerFixture.h
  )
endif()
