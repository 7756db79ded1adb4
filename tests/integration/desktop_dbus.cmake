# The desktops asked over D-Bus, each against the real desktop program on a private bus.
if(NOT APPLE)
  find_package(Qt6 REQUIRED COMPONENTS DBus)
  find_program(LUMIVRA_XFCONFD xfconfd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/xfce4/xfconf /usr/lib/xfce4/xfconf /usr/libexec/xfce4/xfconf
    NO_DEFAULT_PATH)
  find_program(LUMIVRA_KACTIVITYMANAGERD kactivitymanagerd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libexec /usr/libexec NO_DEFAULT_PATH)
  lumivra_add_test(NAME desktop_dbus_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/DBusDesktopTest.cpp XVFB
    LABELS desktop dbus
    ENVIRONMENT "LUMIVRA_KACTIVITYMANAGERD=${LUMIVRA_KACTIVITYMANAGERD}" "LUMIVRA_XFCONFD=${LUMIVRA_XFCONFD}")
endif()
