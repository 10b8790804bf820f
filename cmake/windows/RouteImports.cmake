# cmake -DOBJCOPY=<objcopy> -P RouteImports.cmake <object or archive>...
# Renames, in place, the imports of Sleep and CreateFileA to the test controls'
# stand-ins (win32/windows/control.cpp). Files without them are left alone, so
# running it again is harmless.
set(redirects
  --redefine-sym __imp_Sleep=__imp_ZorvaWin32_Sleep
  --redefine-sym __imp_CreateFileA=__imp_ZorvaWin32_CreateFileA)

# The files are the arguments after the script's own name.
set(first -1)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE 0 ${last})
  if(CMAKE_ARGV${i} STREQUAL "-P")
    math(EXPR first "${i} + 2")
    break()
  endif()
endforeach()
if(first LESS 0 OR first GREATER last)
  return()
endif()
foreach(i RANGE ${first} ${last})
  execute_process(COMMAND "${OBJCOPY}" ${redirects} "${CMAKE_ARGV${i}}" RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "objcopy failed on ${CMAKE_ARGV${i}}")
  endif()
endforeach()
