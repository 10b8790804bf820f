# Boost for the Windows cross build: the headers of Debian's boost1.74 source
# package and a static Boost.Thread built from its Windows implementation, both
# made by scripts/windows/setup.sh under ZORVA_WIN_DEPS. Only Boost.Thread has
# a compiled part here; every other library we use is header-only.
set(_zorva_boost_root "${ZORVA_WIN_DEPS}/boost")
if(NOT EXISTS "${_zorva_boost_root}/include/boost/version.hpp")
  set(Boost_FOUND FALSE)
  set(Boost_NOT_FOUND_MESSAGE
      "no Windows Boost under ${_zorva_boost_root}: run scripts/windows/setup.sh (or set ZORVA_WIN_DEPS)")
  return()
endif()

set(Boost_INCLUDE_DIRS "${_zorva_boost_root}/include")
set(Boost_LIBRARY_DIRS "${_zorva_boost_root}/lib")
set(Boost_VERSION_STRING "${PACKAGE_VERSION}")

if(NOT TARGET Boost::headers)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${Boost_INCLUDE_DIRS}"
    # Chrono stays header-only in every consumer, as in the library's own build;
    # no auto-linking pragmas (MinGW ignores them anyway).
    INTERFACE_COMPILE_DEFINITIONS "BOOST_CHRONO_HEADER_ONLY;BOOST_ALL_NO_LIB")
  add_library(Boost::boost INTERFACE IMPORTED)
  set_target_properties(Boost::boost PROPERTIES INTERFACE_LINK_LIBRARIES Boost::headers)
endif()

set(_zorva_boost_found TRUE)
foreach(_zorva_component IN LISTS Boost_FIND_COMPONENTS)
  if(_zorva_component STREQUAL "thread")
    if(NOT TARGET Boost::thread)
      add_library(Boost::thread STATIC IMPORTED)
      set_target_properties(Boost::thread PROPERTIES
        IMPORTED_LOCATION "${_zorva_boost_root}/lib/libboost_thread.a"
        # Static Boost.Thread: consumers must not expect dllimport'ed symbols.
        INTERFACE_COMPILE_DEFINITIONS "BOOST_THREAD_USE_LIB"
        INTERFACE_LINK_LIBRARIES "Boost::headers")
    endif()
    set(Boost_THREAD_FOUND TRUE)
    set(Boost_thread_FOUND TRUE)
  elseif(_zorva_component MATCHES "^(system|chrono)$")
    # Header-only here.
    if(NOT TARGET Boost::${_zorva_component})
      add_library(Boost::${_zorva_component} INTERFACE IMPORTED)
      set_target_properties(Boost::${_zorva_component} PROPERTIES INTERFACE_LINK_LIBRARIES Boost::headers)
    endif()
    set(Boost_${_zorva_component}_FOUND TRUE)
  else()
    set(Boost_${_zorva_component}_FOUND FALSE)
    if(Boost_FIND_REQUIRED_${_zorva_component})
      set(_zorva_boost_found FALSE)
      set(Boost_NOT_FOUND_MESSAGE "Boost component ${_zorva_component} is not built for Windows")
    endif()
  endif()
endforeach()
set(Boost_FOUND ${_zorva_boost_found})
set(Boost_LIBRARIES)
foreach(_zorva_component IN LISTS Boost_FIND_COMPONENTS)
  if(TARGET Boost::${_zorva_component})
    list(APPEND Boost_LIBRARIES Boost::${_zorva_component})
  endif()
endforeach()
