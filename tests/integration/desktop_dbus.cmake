# The desktops asked over D-Bus, each against a peer of its own on a private bus.
if(NOT APPLE)
  find_package(Qt6 REQUIRED COMPONENTS DBus Qml)
  find_program(LUMIVRA_XFCONFD xfconfd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/xfce4/xfconf /usr/lib/xfce4/xfconf /usr/libexec/xfce4/xfconf
    NO_DEFAULT_PATH)

  add_library(lumivra_test_private_bus STATIC
    ${PROJECT_SOURCE_DIR}/tests/support/PrivateBus.cpp ${PROJECT_SOURCE_DIR}/tests/support/PrivateBus.h)
  lumivra_warnings(lumivra_test_private_bus)
  target_include_directories(lumivra_test_private_bus PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(lumivra_test_private_bus PUBLIC lumivra_test_support Qt6::DBus)

  add_library(lumivra_test_fake_plasmashell STATIC
    ${PROJECT_SOURCE_DIR}/tests/support/FakePlasmaShell.cpp ${PROJECT_SOURCE_DIR}/tests/support/FakePlasmaShell.h)
  lumivra_warnings(lumivra_test_fake_plasmashell)
  target_include_directories(lumivra_test_fake_plasmashell PUBLIC ${PROJECT_SOURCE_DIR}/tests/support)
  target_link_libraries(lumivra_test_fake_plasmashell PUBLIC Qt6::Core Qt6::DBus Qt6::Qml)

  lumivra_add_test(NAME PlasmaBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlasmaBackendTest.cpp
    LIBS lumivra_test_private_bus lumivra_test_fake_plasmashell LABELS desktop dbus)
  lumivra_add_test(NAME XfceBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/XfceBackendTest.cpp
    LIBS lumivra_test_private_bus LABELS desktop dbus ENVIRONMENT "LUMIVRA_XFCONFD=${LUMIVRA_XFCONFD}")
  lumivra_add_test(NAME LxqtBackendTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LxqtBackendTest.cpp XVFB
    LIBS lumivra_test_private_bus LABELS desktop dbus)
endif()
