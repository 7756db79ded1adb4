# The desktops that are asked over D-Bus: KDE Plasma, XFCE and LXQt.
if(NOT APPLE)
  target_sources(lumivra_system PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DesktopPeer_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopPeer_linux.h
    ${CMAKE_CURRENT_LIST_DIR}/LxqtBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PlasmaBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XfceBackend_linux.cpp)
endif()
