if(NOT APPLE)
  # No desktop schema anywhere: an empty data folder and no other schema source.
  lumivra_add_test(NAME desktop_unit_tests LABELS unit system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopSessionTest.cpp
    ENVIRONMENT "GSETTINGS_BACKEND=keyfile" "XDG_DATA_DIRS=${CMAKE_CURRENT_BINARY_DIR}/no-schemas"
                "XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/no-schemas" "GSETTINGS_SCHEMA_DIR=")
endif()
