lumivra_add_test(NAME login_unit_tests LABELS unit system SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/system/LaunchAgentPlistTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/system/AutostartEntryTest.cpp
)
if(NOT APPLE)
  lumivra_add_test(NAME login_service_tests LABELS unit system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/LaunchAtLoginServiceTest_linux.cpp
  )
endif()
