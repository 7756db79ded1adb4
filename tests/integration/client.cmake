lumivra_add_test(NAME client_integration_tests LABELS integration client SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/client/WallpaperAPIClientTest.cpp
)
