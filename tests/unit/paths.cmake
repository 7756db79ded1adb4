lumivra_add_test(NAME paths_unit_tests LABELS unit system SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/system/WallpaperCacheTest.cpp
)
