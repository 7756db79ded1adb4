# Pieces of the application shell that stand alone: the single-instance lock and the timer.
set(app_unit_tests ${CMAKE_CURRENT_LIST_DIR}/AppSingleInstanceLockTest.cpp)
if(NOT APPLE)
  list(APPEND app_unit_tests ${CMAKE_CURRENT_LIST_DIR}/AppSuspendAwareTimerTest.cpp)
endif()
lumivra_add_test(NAME app_unit_tests LABELS unit app SOURCES ${app_unit_tests})
