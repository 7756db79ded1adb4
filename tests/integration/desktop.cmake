if(NOT APPLE)
  # GIO reads GSETTINGS_BACKEND once per process, so GNOME's dconf backend is chosen before the program
  # starts; dconf-service is started by the test, as the private bus activates nothing.
  find_program(LUMIVRA_DCONF_SERVICE dconf-service PATHS /usr/libexec /usr/lib/dconf NO_DEFAULT_PATH)
  lumivra_add_test(NAME desktop_gsettings_tests GUI LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopGSettingsTest.cpp
    ENVIRONMENT "GSETTINGS_BACKEND=dconf" "LUMIVRA_DCONF_SERVICE=${LUMIVRA_DCONF_SERVICE}")
  # No schema anywhere: an empty data folder and no other schema source.
  lumivra_add_test(NAME desktop_gsettings_missing_schema_tests LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopGSettingsMissingSchemaTest.cpp
    ENVIRONMENT "GSETTINGS_BACKEND=keyfile" "XDG_DATA_DIRS=${CMAKE_CURRENT_BINARY_DIR}/no-schemas"
                "XDG_DATA_HOME=${CMAKE_CURRENT_BINARY_DIR}/no-schemas" "GSETTINGS_SCHEMA_DIR=")
  # A plain X11 session: no desktop announced, so the setter paints the root window.
  lumivra_add_test(NAME desktop_x11_tests XVFB LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopX11Test.cpp
    ENVIRONMENT "XDG_CURRENT_DESKTOP=" "DESKTOP_SESSION=" "SWAYSOCK=" "WAYLAND_DISPLAY=" "XDG_SESSION_TYPE=x11")
  lumivra_add_test(NAME desktop_sway_tests LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopSwayTest.cpp)
endif()
