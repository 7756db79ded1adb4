# Shared compiler settings for every target of the project. Each warning below holds for the whole tree;
# CI builds with LUMIVRA_WERROR so that none comes back.
function(lumivra_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wnon-virtual-dtor
                                             -Woverloaded-virtual $<$<COMPILE_LANGUAGE:CXX>:-Wold-style-cast>)
    if(LUMIVRA_WERROR)
      target_compile_options(${target} PRIVATE -Werror)
    endif()
  endif()
endfunction()
