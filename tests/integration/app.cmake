# The application shell against the real client, a loopback server and real files in a temporary home.
lumivra_add_test(NAME AppRefreshCycleTest GUI LABELS integration app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppRefreshCycleTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AppTestFakes.h)
lumivra_add_test(NAME AppMenuTest GUI LABELS integration app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppMenuTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AppTestFakes.h)
lumivra_add_test(NAME AppTimerTest GUI LABELS integration app
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppTimerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AppTestFakes.h)
