# The desktops asked over D-Bus, each against the real desktop program on a private bus.
if(NOT APPLE)
  find_package(Qt6 REQUIRED COMPONENTS DBus)
  find_program(LUMIVRA_XFCONFD xfconfd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/xfce4/xfconf /usr/lib/xfce4/xfconf /usr/libexec/xfce4/xfconf
    NO_DEFAULT_PATH)

  # A Plasma session's activity manager is started by D-Bus activation, which the private bus does not do.
  find_program(LUMIVRA_KACTIVITYMANAGERD kactivitymanagerd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libexec /usr/libexec NO_DEFAULT_PATH)

  lumivra_add_test(NAME PlasmaBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlasmaBackendTest.cpp XVFB
    LABELS desktop dbus
    ENVIRONMENT "LUMIVRA_KACTIVITYMANAGERD=${LUMIVRA_KACTIVITYMANAGERD}" "XDG_CURRENT_DESKTOP=KDE")
  lumivra_add_test(NAME XfceBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/XfceBackendTest.cpp XVFB
    LABELS desktop dbus ENVIRONMENT "LUMIVRA_XFCONFD=${LUMIVRA_XFCONFD}")
  lumivra_add_test(NAME LxqtBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LxqtBackendTest.cpp XVFB
    LABELS desktop dbus)
endif()
