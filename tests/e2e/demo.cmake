# The README's first command, end to end: service, client, tray host and screenshot on a private Xvfb
# display, with the programs of this build tree.
if(TARGET lumivra-server AND TARGET lumivra)
  add_test(NAME demo_e2e COMMAND ${PROJECT_SOURCE_DIR}/scripts/demo)
  set_tests_properties(demo_e2e PROPERTIES
    ENVIRONMENT "LUMIVRA_BUILD_DIR=${PROJECT_BINARY_DIR};LUMIVRA_DEMO_DIR=${PROJECT_BINARY_DIR}/demo-e2e;LUMIVRA_DEMO_XVFB=1"
    LABELS "e2e;demo"
    TIMEOUT 300)
endif()
