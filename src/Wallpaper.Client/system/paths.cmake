target_sources(lumivra_system PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClientPaths.cpp ${CMAKE_CURRENT_LIST_DIR}/ClientPaths.h
  ${CMAKE_CURRENT_LIST_DIR}/PathExtension.cpp ${CMAKE_CURRENT_LIST_DIR}/PathExtension.h
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperCache.cpp ${CMAKE_CURRENT_LIST_DIR}/WallpaperCache.h
)
