# Pieces of the application shell that stand alone: icon sources, the single-instance lock, the timer.
lumivra_add_test(NAME AppMenuBarImageTest GUI LABELS unit app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppMenuBarImageTest.cpp)
lumivra_add_test(NAME AppSingleInstanceLockTest LABELS unit app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppSingleInstanceLockTest.cpp)
if(NOT APPLE)
  lumivra_add_test(NAME AppSuspendAwareTimerTest LABELS unit app
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppSuspendAwareTimerTest.cpp)
endif()
