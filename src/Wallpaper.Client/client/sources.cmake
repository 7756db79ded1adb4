target_sources(lumivra_core PRIVATE
  ${CMAKE_CURRENT_LIST_DIR}/Errors.cpp
)
