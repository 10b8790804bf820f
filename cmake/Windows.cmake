# Windows build (MinGW-w64): what differs from the Linux build, kept in one
# place. Included by the top-level CMakeLists.txt when WIN32.

if(ZORVA_SANITIZE)
  message(FATAL_ERROR "ZORVA_SANITIZE is for the Linux build; MinGW-w64 has no sanitizer runtimes")
endif()

if(MINGW)
  # The C++ runtime, libgcc and winpthreads go into each module, so the plugin
  # imports only system DLLs and the USB library.
  add_link_options(-static)
endif()
# The oldest Windows we build for: 7, which has everything we call.
add_compile_definitions(_WIN32_WINNT=0x0601 WINVER=0x0601)

# Version resources, compiled by MinGW's windres.
enable_language(RC)

# zorva_version_resource(<target> <file name> <description>): the project's
# version, maker and product in the module's version resource, which Explorer
# shows and GetFileVersionInfo reads (the development host's --version).
function(zorva_version_resource target file description)
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "EXECUTABLE")
    set(ZORVA_RC_FILETYPE VFT_APP)
  else()
    set(ZORVA_RC_FILETYPE VFT_DLL)
  endif()
  set(ZORVA_RC_FILE ${file})
  set(ZORVA_RC_DESCRIPTION ${description})
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}.version.rc)
  configure_file(${CMAKE_SOURCE_DIR}/cmake/windows/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()

set(ZORVA_ROUTE_IMPORTS ${CMAKE_CURRENT_LIST_DIR}/windows/RouteImports.cmake)

# zorva_windows_test_core(<target>): an INTERFACE target that test programs
# link in place of zorva_core. It carries the same objects, archived with their
# imports of Sleep and CreateFileA renamed to the stand-ins of
# win32/windows/control.cpp, so tests can run the plugin's pauses in virtual
# time and give drive C another folder (ZorvaWin32_SetSleepHandler,
# ZorvaWin32_SetDriveDirectory), as with the Linux Win32 layer. The objects the
# plugin DLL is linked from stay untouched: the DLL calls the system directly.
function(zorva_windows_test_core target)
  set(archive ${CMAKE_CURRENT_BINARY_DIR}/libzorva_core_test.a)
  # The core's objects, both parts, without the precompiled header (listed
  # among them).
  set(objects "$<FILTER:$<TARGET_OBJECTS:zorva_core>,EXCLUDE,\\.gch$>" "$<TARGET_OBJECTS:zorva_core_base>")
  add_custom_command(
    OUTPUT ${archive}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${archive}
    COMMAND ${CMAKE_AR} qcs ${archive} "${objects}"
    COMMAND ${CMAKE_COMMAND} -DOBJCOPY=${CMAKE_OBJCOPY} -P ${ZORVA_ROUTE_IMPORTS} ${archive}
    DEPENDS "${objects}" ${ZORVA_ROUTE_IMPORTS}
    COMMAND_EXPAND_LISTS
    VERBATIM
    COMMENT "Archiving the plugin core for tests (Sleep, CreateFileA redirected)")
  add_custom_target(${target}_archive DEPENDS ${archive})
  add_dependencies(${target}_archive zorva_core zorva_core_base)

  # The archive as a library target that carries zorva_core's own
  # dependencies (not the base's objects: they are in the archive), so they
  # follow it on the link line.
  add_library(${target}_objects STATIC IMPORTED GLOBAL)
  set_target_properties(${target}_objects PROPERTIES
    IMPORTED_LOCATION ${archive}
    INTERFACE_LINK_LIBRARIES "zorva_win32_control;${ZORVA_CORE_LIBRARIES}"
    INTERFACE_INCLUDE_DIRECTORIES "$<TARGET_PROPERTY:zorva_core,INTERFACE_INCLUDE_DIRECTORIES>"
    INTERFACE_COMPILE_DEFINITIONS "$<TARGET_PROPERTY:zorva_core,INTERFACE_COMPILE_DEFINITIONS>")

  add_library(${target} INTERFACE)
  add_dependencies(${target} ${target}_archive)
  # Every object, as when linking zorva_core itself: static objects register
  # themselves and must not be left out for want of a reference.
  target_link_libraries(${target} INTERFACE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}_objects>")
endfunction()

# zorva_windows_route_imports(<test program>): the program's own objects call
# Sleep and CreateFileA through the test controls too, as test code calls the
# Win32 layer on Linux (a test may pause, or open a file on drive C, itself).
function(zorva_windows_route_imports target)
  add_custom_command(TARGET ${target} PRE_LINK
    COMMAND ${CMAKE_COMMAND} -DOBJCOPY=${CMAKE_OBJCOPY} -P ${ZORVA_ROUTE_IMPORTS}
            "$<FILTER:$<TARGET_OBJECTS:${target}>,EXCLUDE,\\.gch$>"
    COMMAND_EXPAND_LISTS
    VERBATIM)
endfunction()
