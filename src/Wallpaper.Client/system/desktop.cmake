# The desktop picture: one backend per kind of desktop, chosen at run time from the session on Linux.
target_sources(lumivra_system PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/DesktopBackend.h
  ${CMAKE_CURRENT_LIST_DIR}/DesktopBackends.h
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperSetter.h
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperSetter.cpp)

if(APPLE)
  target_sources(lumivra_system PRIVATE ${CMAKE_CURRENT_LIST_DIR}/DesktopBackend_mac.mm)
  target_link_libraries(lumivra_system PRIVATE "-framework AppKit")
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GIO REQUIRED IMPORTED_TARGET gio-2.0)
  pkg_check_modules(XCB REQUIRED IMPORTED_TARGET xcb)
  target_sources(lumivra_system PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/DesktopSession.h
    ${CMAKE_CURRENT_LIST_DIR}/DesktopSession.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DesktopSession_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/GSettingsBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LxdeBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SwayBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11DesktopWindow_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/X11DesktopWindow_linux.h
    ${CMAKE_CURRENT_LIST_DIR}/X11RootBackend_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/XcbHandles_linux.h)
  # GIO's headers name struct members "signals", which Qt's keywords would replace.
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/GSettingsBackend_linux.cpp
    PROPERTIES COMPILE_DEFINITIONS QT_NO_KEYWORDS)
  target_link_libraries(lumivra_system PRIVATE PkgConfig::GIO PkgConfig::XCB)
endif()
