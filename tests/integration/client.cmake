lumivra_add_test(NAME client_integration_tests LABELS integration client SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/client/WallpaperAPIClientTest.cpp
)
# Scripted answers name only the fields that matter, in designated initializers; GCC 12 warns about the rest.
target_compile_options(client_integration_tests PRIVATE -Wno-missing-field-initializers)
