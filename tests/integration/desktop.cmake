if(NOT APPLE)
  # Each desktop against the real program users run, on a private Xvfb display (or a headless sway), the
  # D-Bus desktops on a private bus. This program itself runs in a plain X11 session.
  find_package(Qt6 REQUIRED COMPONENTS DBus)
  find_program(LUMIVRA_XFCONFD xfconfd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/xfce4/xfconf /usr/lib/xfce4/xfconf /usr/libexec/xfce4/xfconf
    NO_DEFAULT_PATH)
  find_program(LUMIVRA_KACTIVITYMANAGERD kactivitymanagerd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libexec /usr/libexec NO_DEFAULT_PATH)
  lumivra_add_test(NAME desktop_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/system/DesktopTest.cpp XVFB
    LABELS integration desktop dbus
    ENVIRONMENT "LUMIVRA_KACTIVITYMANAGERD=${LUMIVRA_KACTIVITYMANAGERD}" "LUMIVRA_XFCONFD=${LUMIVRA_XFCONFD}"
                "XDG_CURRENT_DESKTOP=" "DESKTOP_SESSION=" "SWAYSOCK=" "WAYLAND_DISPLAY=" "XDG_SESSION_TYPE=x11")
  # GIO reads GSETTINGS_BACKEND once per process, so GNOME's dconf backend is chosen before the program
  # starts; dconf-service is started by the test, as the private bus activates nothing.
  find_program(LUMIVRA_DCONF_SERVICE dconf-service PATHS /usr/libexec /usr/lib/dconf NO_DEFAULT_PATH)
  lumivra_add_test(NAME desktop_gsettings_tests GUI LABELS integration system SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/system/DesktopGSettingsTest.cpp
    ENVIRONMENT "GSETTINGS_BACKEND=dconf" "LUMIVRA_DCONF_SERVICE=${LUMIVRA_DCONF_SERVICE}")
endif()
