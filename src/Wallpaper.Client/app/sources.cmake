# The application shell: delegate, status item, menu, refresh cycle, hourly timer, network monitor, the
# command line and the door through which other starts reach the running copy.
target_sources(lumivra_app PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ActivationPolicy.h
  ${CMAKE_CURRENT_LIST_DIR}/Alert.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Alert.h
  ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.cpp
  ${CMAKE_CURRENT_LIST_DIR}/AppDelegate.h
  ${CMAKE_CURRENT_LIST_DIR}/AppDelegateMenu.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClientKind.h
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/CommandLine.h
  ${CMAKE_CURRENT_LIST_DIR}/MenuBarImage.cpp
  ${CMAKE_CURRENT_LIST_DIR}/MenuBarImage.h
  ${CMAKE_CURRENT_LIST_DIR}/NetworkMonitor.h
  ${CMAKE_CURRENT_LIST_DIR}/AppDelegateRefresh.cpp
  ${CMAKE_CURRENT_LIST_DIR}/RunningCopy.h
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceLock.cpp
  ${CMAKE_CURRENT_LIST_DIR}/SingleInstanceLock.h
  ${CMAKE_CURRENT_LIST_DIR}/StatusItem.h
  ${CMAKE_CURRENT_LIST_DIR}/SuspendAwareTimer.h
  ${CMAKE_CURRENT_LIST_DIR}/TrayHost.h
  ${CMAKE_CURRENT_LIST_DIR}/TrayStatusItem.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TrayStatusItem.h
)
if(APPLE)
  enable_language(OBJCXX)
  target_sources(lumivra_app PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ActivationPolicy_mac.mm
    ${CMAKE_CURRENT_LIST_DIR}/ClientKind_mac.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NetworkMonitor_mac.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RunningCopy_mac.mm
    ${CMAKE_CURRENT_LIST_DIR}/SuspendAwareTimer_mac.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TrayHost_mac.cpp)
  set(lumivra_bundled_app_icon "../Resources/AppIcon.png")
  target_link_libraries(lumivra_app PRIVATE "-framework AppKit" "-framework Network")
else()
  target_sources(lumivra_app PRIVATE
    ${CMAKE_CURRENT_LIST_DIR}/ActivationPolicy_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClientKind_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/NetworkMonitor_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RunningCopy_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/RunningCopyBus_linux.h
    ${CMAKE_CURRENT_LIST_DIR}/RunningCopyClient_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SuspendAwareTimer_linux.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TrayHost_linux.cpp)
  # GIO's headers name struct members "signals", which Qt's keywords would replace.
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/NetworkMonitor_linux.cpp
    PROPERTIES COMPILE_DEFINITIONS QT_NO_KEYWORDS)
  target_link_libraries(lumivra_app PRIVATE PkgConfig::GIO)
  # Where `cmake --install` puts the icon, seen from the installed program in bin/.
  file(RELATIVE_PATH lumivra_bundled_app_icon ${CMAKE_INSTALL_FULL_BINDIR}
       ${CMAKE_INSTALL_FULL_DATADIR}/lumivra/AppIcon.png)
endif()
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp PROPERTIES
  COMPILE_DEFINITIONS "LUMIVRA_VERSION=\"${PROJECT_VERSION}\"")
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/MenuBarImage.cpp PROPERTIES
  COMPILE_DEFINITIONS "LUMIVRA_BUNDLED_APP_ICON=\"${lumivra_bundled_app_icon}\"")

# The application icon as the named image ":/AppIcon.png".
qt_add_resources(lumivra_app lumivra_app_icon
  PREFIX "/"
  BASE ${CMAKE_CURRENT_LIST_DIR}/../Assets
  FILES ${CMAKE_CURRENT_LIST_DIR}/../Assets/AppIcon.png)
