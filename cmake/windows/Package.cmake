# The Windows package: `cmake --build build-win --target package` makes
# ZORVAplugin-<version>-win64.zip, which a lab unpacks to install the plugin
# and to check its plates with the development host (INSTALL.txt in it):
#
#   ZORVAplugin.mdd, zorva-devhost.exe, zorva_plot.py, INSTALL.txt
#   simulated/   the simulated USB library and a script that runs the
#                development host on it; a lab's own ZORVAUSBDevice.dll is the
#                maker's, so the simulated one never sits beside the plugin
#   examples/    the configuration files and the bench that matches them
#   trace/       the recording USB library (ZORVAUSBDevice.dll too) that
#                zorva-devhost --record-trace puts in front of the lab's own
#
# Only what is installed here goes in: no test program.
# scripts/windows/check_package.sh checks the archive.
set(package_dir ${CMAKE_CURRENT_LIST_DIR}/package)

install(TARGETS ZORVAplugin zorva-devhost RUNTIME DESTINATION .)
install(TARGETS ZORVAUSBDevice RUNTIME DESTINATION simulated)
install(TARGETS zorva_trace_recorder RUNTIME DESTINATION trace)
install(FILES ${CMAKE_SOURCE_DIR}/devhost/program/zorva_plot.py DESTINATION .)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/examples/ DESTINATION examples)

# Texts for Windows: CRLF line ends, the version filled in.
string(LENGTH "ZORVA force-plate plugin ${ZORVA_VERSION} for 64-bit Windows" title_length)
string(REPEAT "=" ${title_length} ZORVA_TITLE_UNDERLINE)
configure_file(${package_dir}/INSTALL.txt.in ${CMAKE_BINARY_DIR}/package/INSTALL.txt @ONLY NEWLINE_STYLE CRLF)
configure_file(${package_dir}/zorva-devhost-simulated.cmd ${CMAKE_BINARY_DIR}/package/zorva-devhost-simulated.cmd
               @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/package/INSTALL.txt DESTINATION .)
install(PROGRAMS ${CMAKE_BINARY_DIR}/package/zorva-devhost-simulated.cmd DESTINATION simulated)

# The DLLs the plugin and the program import besides Windows' own and the USB
# library, found among the cross compiler's and the dependency cache's
# libraries and installed beside them. None while cmake/Windows.cmake links
# the runtime statically; whatever a change links dynamically follows here.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-libgcc-file-name OUTPUT_VARIABLE libgcc
                OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(gcc_dir "${libgcc}" DIRECTORY)
set(runtime_dirs ${gcc_dir} /usr/x86_64-w64-mingw32/lib ${ZORVA_WIN_DEPS}/boost/lib)
install(CODE "
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_PLATFORM windows+pe)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_TOOL objdump)
  set(CMAKE_GET_RUNTIME_DEPENDENCIES_COMMAND \"${CMAKE_OBJDUMP}\")
  file(GET_RUNTIME_DEPENDENCIES
    EXECUTABLES \"$<TARGET_FILE:zorva-devhost>\"
    LIBRARIES \"$<TARGET_FILE:ZORVAplugin>\"
    DIRECTORIES ${runtime_dirs}
    PRE_EXCLUDE_REGEXES \"^zorvausbdevice\\\\.dll$\"
    RESOLVED_DEPENDENCIES_VAR runtime_dlls
    UNRESOLVED_DEPENDENCIES_VAR system_dlls)
  foreach(dll IN LISTS runtime_dlls)
    file(INSTALL \${dll} DESTINATION \"\${CMAKE_INSTALL_PREFIX}\")
  endforeach()
")

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME ZORVAplugin)
set(CPACK_PACKAGE_VENDOR ${ZORVA_COMPANY})
set(CPACK_PACKAGE_VERSION ${ZORVA_VERSION})
set(CPACK_PACKAGE_FILE_NAME ZORVAplugin-${ZORVA_VERSION}-win64)
# Unpacks into one folder of that name.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
include(CPack)
