# Local system services. Each service keeps its own list; per-OS files are chosen here, not by #ifdef.
include(${CMAKE_CURRENT_LIST_DIR}/paths.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/desktop.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/desktop_dbus.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/login.cmake)
