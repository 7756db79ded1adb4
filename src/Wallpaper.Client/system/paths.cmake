target_sources(lumivra_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClientPaths.cpp
  ${CMAKE_CURRENT_LIST_DIR}/PathExtension.cpp ${CMAKE_CURRENT_LIST_DIR}/PathExtension.h
)
