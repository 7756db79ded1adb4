# The desktops that are asked over D-Bus: KDE Plasma, XFCE and LXQt.
if(NOT APPLE)
  target_sources(lumivra_core PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DBusCall_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DBusCall_linux.h
    ${CMAKE_CURRENT_LIST_DIR}/LxqtBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlasmaBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XfceBackend_linux.cpp)
endif()
