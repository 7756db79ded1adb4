# The program with no tray at all, reached through its installed desktop entry and its command line, and
# refreshing when a route out appears, in a network namespace of the test's own.
if(NOT APPLE AND TARGET lumivra)
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(GIO_UNIX REQUIRED IMPORTED_TARGET gio-unix-2.0)
  lumivra_add_test(NAME RunningCopyTest XVFB NETNS LABELS e2e app LIBS PkgConfig::GIO_UNIX
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/RunningCopyTest.cpp
    ENVIRONMENT "LUMIVRA_PROGRAM=$<TARGET_FILE:lumivra>")
  # GIO's headers name struct members "signals", which Qt's keywords would replace.
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/RunningCopyTest.cpp PROPERTIES
    COMPILE_DEFINITIONS QT_NO_KEYWORDS)
  add_dependencies(RunningCopyTest lumivra)
endif()
