# The program in the trays of the desktops people run, each a real panel on a private bus: Plasma under
# Xvfb, waybar in a headless sway, trayer (XEmbed) on a plain X11 desktop.
if(NOT APPLE AND TARGET lumivra)
  find_program(LUMIVRA_KACTIVITYMANAGERD kactivitymanagerd
    PATHS /usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/libexec /usr/libexec NO_DEFAULT_PATH)
  lumivra_add_test(NAME TrayHostTest XVFB LABELS e2e app TIMEOUT 600
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/TrayHostTest.cpp
    ENVIRONMENT "LUMIVRA_PROGRAM=$<TARGET_FILE:lumivra>" "LUMIVRA_KACTIVITYMANAGERD=${LUMIVRA_KACTIVITYMANAGERD}")
  add_dependencies(TrayHostTest lumivra)
endif()
