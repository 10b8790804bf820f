# The project's version is the one of project() in the top CMakeLists.txt.
# The plugin's version note or resource, the development host's --version and
# the Windows package all take it, and the texts that go with it, from here.
set(ZORVA_VERSION ${PROJECT_VERSION})
set(ZORVA_COMPANY "ZORVA")
set(ZORVA_PRODUCT "ZORVA force-plate plugin")
set(ZORVA_COPYRIGHT "Copyright (C) 2026 ZORVA")

# "ZorvaVersion.h" for the code that states the version.
configure_file(${CMAKE_CURRENT_LIST_DIR}/ZorvaVersion.h.in ${CMAKE_BINARY_DIR}/generated/ZorvaVersion.h @ONLY)
add_library(zorva_version INTERFACE)
target_include_directories(zorva_version INTERFACE ${CMAKE_BINARY_DIR}/generated)
