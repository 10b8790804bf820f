# Warnings for every target of ours. Third-party headers come in as SYSTEM.
function(zorva_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
  endif()
endfunction()
