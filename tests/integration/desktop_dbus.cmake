# The desktops asked over D-Bus, each against the real desktop program on a private bus.
if(NOT APPLE)
  find_package(Qt6 REQUIRED COMPONENTS DBus)
  find_program(LUMIVRA_XFCONFD xfconfd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/xfce4/xfconf /usr/lib/xfce4/xfconf /usr/libexec/xfce4/xfconf
    NO_DEFAULT_PATH)

  add_library(lumivra_test_private_bus STATIC
    ${PROJECT_SOURCE_DIR}/tests/support/PrivateBus.cpp ${PROJECT_SOURCE_DIR}/tests/support/PrivateBus.h)
  lumivra_warnings(lumivra_test_private_bus)
  target_include_directories(lumivra_test_private_bus PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(lumivra_test_private_bus PUBLIC lumivra_test_support Qt6::DBus)

  # A Plasma session's activity manager is started by D-Bus activation, which the private bus does not do.
  find_program(LUMIVRA_KACTIVITYMANAGERD kactivitymanagerd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libexec /usr/libexec NO_DEFAULT_PATH)

  lumivra_add_test(NAME PlasmaBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlasmaBackendTest.cpp XVFB
    LIBS lumivra_test_private_bus LABELS desktop dbus
    ENVIRONMENT "LUMIVRA_KACTIVITYMANAGERD=${LUMIVRA_KACTIVITYMANAGERD}" "XDG_CURRENT_DESKTOP=KDE")
  lumivra_add_test(NAME XfceBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/XfceBackendTest.cpp XVFB
    LIBS lumivra_test_private_bus LABELS desktop dbus ENVIRONMENT "LUMIVRA_XFCONFD=${LUMIVRA_XFCONFD}")
  lumivra_add_test(NAME LxqtBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LxqtBackendTest.cpp XVFB
    LIBS lumivra_test_private_bus LABELS desktop dbus)
endif()
