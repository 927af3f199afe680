# cmake -DBUILD=<build dir> -DPREFIX=<empty folder> -P check_install.cmake
# Installs the build into PREFIX and checks what a packaged hack looks like.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${rc}")
endif()

set(hack "${PREFIX}/libexec/xscreensaver/winterhollow")
set(expected
  bin/winterhollow
  bin/winterhollow-config
  bin/winterhollow-render
  libexec/xscreensaver/winterhollow
  share/applications/screensavers/winterhollow.desktop
  share/man/man1/winterhollow-config.1
  share/man/man1/winterhollow-render.1
  share/man/man6/winterhollow.6
  share/xscreensaver/config/winterhollow.xml)
file(GLOB_RECURSE found LIST_DIRECTORIES false RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT found)
if(NOT found STREQUAL expected)
  message(FATAL_ERROR "installed:\n  ${found}\nexpected:\n  ${expected}")
endif()

# One copy of the saver: bin/ holds a link to the hack.
if(NOT IS_SYMLINK "${PREFIX}/bin/winterhollow")
  message(FATAL_ERROR "bin/winterhollow is not a link to the hack")
endif()
file(REAL_PATH "${PREFIX}/bin/winterhollow" target)
file(REAL_PATH "${hack}" hack_real)
if(NOT target STREQUAL hack_real)
  message(FATAL_ERROR "bin/winterhollow points to ${target}")
endif()

# Stripped: no symbol table, no debug information.
foreach(program "${hack}" "${PREFIX}/bin/winterhollow-render" "${PREFIX}/bin/winterhollow-config")
  execute_process(COMMAND readelf -S --wide "${program}" OUTPUT_VARIABLE sections RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "readelf failed on ${program}")
  endif()
  if(sections MATCHES "\\.symtab|\\.debug_")
    message(FATAL_ERROR "${program} is not stripped")
  endif()
  execute_process(COMMAND "${program}" --version OUTPUT_VARIABLE version RESULT_VARIABLE rc)
  get_filename_component(name "${program}" NAME)
  if(NOT rc EQUAL 0 OR NOT version MATCHES "^${name} [0-9]+\\.[0-9]+\\.[0-9]+\n$")
    message(FATAL_ERROR "${program} --version: ${rc} '${version}'")
  endif()
endforeach()
execute_process(COMMAND "${PREFIX}/bin/winterhollow" --version OUTPUT_VARIABLE version)
if(NOT version MATCHES "^winterhollow ")
  message(FATAL_ERROR "the link in bin/ does not start the saver: '${version}'")
endif()

# The desktop file starts the installed hack, wherever the prefix is.
file(READ "${PREFIX}/share/applications/screensavers/winterhollow.desktop" desktop)
if(NOT desktop MATCHES "\nExec=${hack} --root\n")
  message(FATAL_ERROR "the desktop file does not start ${hack}:\n${desktop}")
endif()
