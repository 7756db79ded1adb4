if(NOT APPLE)
  # GIO reads GSETTINGS_BACKEND once per process, so the keyfile backend is chosen before the program starts.
  lumivra_add_test(NAME desktop_gsettings_tests GUI LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopGSettingsTest.cpp
    ENVIRONMENT "GSETTINGS_BACKEND=keyfile")
  # No schema anywhere: an empty data folder and no other schema source.
  lumivra_add_test(NAME desktop_gsettings_missing_schema_tests LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopGSettingsMissingSchemaTest.cpp
    ENVIRONMENT "GSETTINGS_BACKEND=keyfile" "XDG_DATA_DIRS=${CMAKE_CURRENT_BINARY_DIR}/no-schemas"
                "XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/no-schemas" "GSETTINGS_SCHEMA_DIR=")
  # A plain X11 session: no desktop announced, so the setter paints the root window.
  lumivra_add_test(NAME desktop_x11_root_tests XVFB LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopX11RootTest.cpp
    ENVIRONMENT "XDG_CURRENT_DESKTOP=" "DESKTOP_SESSION=" "SWAYSOCK=" "WAYLAND_DISPLAY=" "XDG_SESSION_TYPE=x11")
  lumivra_add_test(NAME desktop_sway_tests LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopSwayTest.cpp)
endif()
