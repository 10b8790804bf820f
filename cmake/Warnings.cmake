# Warnings for every target of ours. Third-party headers come in as SYSTEM.
# Under clang also its thread-safety analysis (the lock annotations of
# win32/ThreadSafety.h): the test command's Linux builds are clang's, so it
# analyses every file it builds there.
function(zorva_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4)
  elseif(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra $<$<COMPILE_LANGUAGE:CXX>:-Wthread-safety -Wthread-safety-beta>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(CMAKE_UNITY_BUILD)
      # GCC warns of a class with a member of a type from an anonymous
      # namespace in a file that is not the main file, which in a unity build
      # every source file is; the warning is meant for headers.
      target_compile_options(${target} PRIVATE $<$<COMPILE_LANGUAGE:CXX>:-Wno-subobject-linkage>)
    endif()
  endif()
endfunction()
