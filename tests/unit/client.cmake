lumivra_add_test(NAME client_unit_tests LABELS unit client SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/client/ClientOptionsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client/ModelsTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client/RequestCompositionTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client/ServerAddressStoreTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/client/Sha256Test.cpp
)
