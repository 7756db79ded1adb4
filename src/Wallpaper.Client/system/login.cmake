# The entry builders are plain text and are built (and tested) everywhere; only the service picks its OS.
target_sources(lumivra_system PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/AutostartEntry.cpp ${CMAKE_CURRENT_LIST_DIR}/AutostartEntry.h
  ${CMAKE_CURRENT_LIST_DIR}/LaunchAgentPlist.cpp ${CMAKE_CURRENT_LIST_DIR}/LaunchAgentPlist.h
  ${CMAKE_CURRENT_LIST_DIR}/LoginEntryFile.cpp ${CMAKE_CURRENT_LIST_DIR}/LoginEntryFile.h
)
if(APPLE)
  target_sources(lumivra_system PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LaunchAtLoginService_mac.cpp)
  target_link_libraries(lumivra_system PRIVATE "-framework CoreFoundation")
else()
  target_sources(lumivra_system PRIVATE ${CMAKE_CURRENT_LIST_DIR}/LaunchAtLoginService_linux.cpp)
endif()
