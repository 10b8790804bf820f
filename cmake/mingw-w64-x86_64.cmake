# Cross build for 64-bit Windows with Debian's MinGW-w64 compilers (posix
# thread model, which std::thread and std::mutex need). Test programs run under
# wine64 through scripts/windows/wine-run.sh, so ctest works in the build tree.
#
# ZORVA_WIN_DEPS (cache or environment) names the folder where
# scripts/windows/setup.sh put Boost and GoogleTest for Windows.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_zorva_triplet x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_zorva_triplet}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_zorva_triplet}-g++-posix)
set(CMAKE_RC_COMPILER ${_zorva_triplet}-windres)
set(CMAKE_AR ${_zorva_triplet}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${_zorva_triplet}-ranlib CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${_zorva_triplet}-objdump CACHE FILEPATH "")

if(NOT ZORVA_WIN_DEPS)
  if(DEFINED ENV{ZORVA_WIN_DEPS})
    set(ZORVA_WIN_DEPS "$ENV{ZORVA_WIN_DEPS}")
  else()
    set(ZORVA_WIN_DEPS /var/cache/zorva-win-deps)
  endif()
endif()
set(ZORVA_WIN_DEPS "${ZORVA_WIN_DEPS}" CACHE PATH "Windows builds of Boost and GoogleTest (scripts/windows/setup.sh)")
# try_compile projects read this file again and need the same value.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ZORVA_WIN_DEPS)

set(CMAKE_FIND_ROOT_PATH /usr/${_zorva_triplet} ${ZORVA_WIN_DEPS}/googletest)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(GTest_DIR ${ZORVA_WIN_DEPS}/googletest/lib/cmake/GTest CACHE PATH "")
set(Boost_DIR ${CMAKE_CURRENT_LIST_DIR}/windows/boost CACHE PATH "")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  get_filename_component(_zorva_repo "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${_zorva_repo}/scripts/windows/wine-run.sh)
endif()
