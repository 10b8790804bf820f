# ZORVA_SANITIZE applies to every target of the build tree, so the plugin, the
# Win32 layer, the simulated USB library and the tests are instrumented alike.
if(ZORVA_SANITIZE)
  set(_zorva_san_flags -fsanitize=${ZORVA_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_compile_options(${_zorva_san_flags})
  add_link_options(-fsanitize=${ZORVA_SANITIZE})
  message(STATUS "Sanitizers: ${ZORVA_SANITIZE}")
endif()
