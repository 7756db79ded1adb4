# The application shell against the real client, a loopback server and real files in a temporary home.
lumivra_add_test(NAME AppTest GUI LABELS integration app SOURCES ${CMAKE_CURRENT_LIST_DIR}/AppTest.cpp)
