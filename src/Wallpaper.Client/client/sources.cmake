target_sources(lumivra_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/ClientOptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ClientOptions.h
  ${CMAKE_CURRENT_LIST_DIR}/Errors.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Errors.h
  ${CMAKE_CURRENT_LIST_DIR}/Models.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Models.h
  ${CMAKE_CURRENT_LIST_DIR}/NetworkAccess.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerAddressStore.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ServerAddressStore.h
  ${CMAKE_CURRENT_LIST_DIR}/Sha256.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Sha256.h
  ${CMAKE_CURRENT_LIST_DIR}/Translations.cpp
  ${CMAKE_CURRENT_LIST_DIR}/Translations.h
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperAPIClient.cpp
  ${CMAKE_CURRENT_LIST_DIR}/WallpaperAPIClient.h
)
