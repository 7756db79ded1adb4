# The XDG autostart entry, on real files in the test run's temporary home.
if(NOT APPLE)
  lumivra_add_test(NAME login_tests LABELS unit system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/LaunchAtLoginServiceTest_linux.cpp
  )
endif()
