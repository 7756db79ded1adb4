if(NOT APPLE)
  lumivra_add_test(NAME desktop_unit_tests LABELS unit system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopSessionTest.cpp)
endif()
