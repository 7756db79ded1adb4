# The fuzz targets' seed corpora, replayed in every test run by fuzz/replay.cpp. The targets need
# FuzzedDataProvider.h from clang's resource folder; without it (Apple's clang has none) they are left out.
find_program(LUMIVRA_CLANG NAMES clang++ clang)
if(LUMIVRA_CLANG)
  execute_process(COMMAND ${LUMIVRA_CLANG} -print-resource-dir OUTPUT_VARIABLE clang_resources
                  OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
endif()
find_path(LUMIVRA_FUZZ_INCLUDE fuzzer/FuzzedDataProvider.h HINTS ${clang_resources}/include)
if(NOT LUMIVRA_FUZZ_INCLUDE)
  message(STATUS "fuzz corpora not replayed: fuzzer/FuzzedDataProvider.h not found")
  return()
endif()
# Only the one header is taken: the rest of clang's folder (stddef.h, ...) must not shadow GCC's own.
set(fuzz_include ${CMAKE_CURRENT_BINARY_DIR}/fuzz-include)
configure_file(${LUMIVRA_FUZZ_INCLUDE}/fuzzer/FuzzedDataProvider.h ${fuzz_include}/fuzzer/FuzzedDataProvider.h COPYONLY)
set(fuzz ${PROJECT_SOURCE_DIR}/fuzz)
foreach(target decode_records server_address cache_naming)
  add_executable(fuzz_replay_${target} ${fuzz}/replay.cpp ${fuzz}/${target}.cpp)
  lumivra_warnings(fuzz_replay_${target})
  target_include_directories(fuzz_replay_${target} SYSTEM PRIVATE ${fuzz_include})
  target_include_directories(fuzz_replay_${target} PRIVATE ${fuzz})
  # Cache naming belongs to the system services; every other target exercises the client alone.
  if(target STREQUAL "cache_naming")
    target_link_libraries(fuzz_replay_${target} PRIVATE lumivra_system)
  else()
    target_link_libraries(fuzz_replay_${target} PRIVATE lumivra_client)
  endif()
  add_test(NAME fuzz_replay_${target} COMMAND fuzz_replay_${target} ${fuzz}/corpus/${target})
  set_tests_properties(fuzz_replay_${target} PROPERTIES LABELS "unit;client;fuzz" ENVIRONMENT "LC_ALL=C.UTF-8"
                       TIMEOUT 60)
endforeach()
