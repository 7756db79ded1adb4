# Shared compiler settings for every target of the project. Each warning below holds for the whole tree;
# CI builds with LUMIVRA_WERROR so that none comes back.
function(lumivra_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Woverloaded-virtual $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
    # A unity build includes each .cpp into a generated one, so GCC takes its anonymous-namespace types for a
    # header's and warns when a coroutine frame holds one; in a real header that would matter, here it cannot.
    if(CMAKE_UNITY_BUILD AND CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
      target_compile_options(${target} PRIVATE -Wno-subobject-linkage)
    endif()
    if(LUMIVRA_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
