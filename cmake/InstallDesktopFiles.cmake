# Run by `cmake --install`: writes the menu entry and the user service with
# the installed program's full path, straight to where they are installed.
# The prefix is known only now (cmake --install --prefix), and nothing is
# written into the build tree, which a run through sudo would leave to root.
#
# Expects TOVIK_SOURCE_DIR, TOVIK_BINDIR and TOVIK_DATADIR (relative to the
# prefix, or absolute).

foreach(var BINDIR DATADIR)
  if(IS_ABSOLUTE "${TOVIK_${var}}")
    set(${var} "${TOVIK_${var}}")
  else()
    set(${var} "${CMAKE_INSTALL_PREFIX}/${TOVIK_${var}}")
  endif()
endforeach()
set(program "${BINDIR}/tovik-bot")
if(program MATCHES "[\n\r]")
  message(FATAL_ERROR "The install prefix holds a line break: ${program}")
endif()

# The desktop entry's Exec key: an argument with a reserved character is
# quoted, and inside the quotes ", `, $ and \ take a backslash; the value as
# a whole is then a string, where every backslash is doubled, and "%" starts
# a field code unless doubled. TryExec is a plain string.
string(REPLACE "\\" "\\\\" TOVIK_DESKTOP_TRYEXEC "${program}")
set(exec "${program}")
if(exec MATCHES "[ \t\"'\\\\><~|&;$*?#()`]")
  string(REGEX REPLACE "([\"`$\\\\])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "\\" "\\\\" exec "${exec}")
string(REPLACE "%" "%%" TOVIK_DESKTOP_EXEC "${exec}")

# The service's ExecStart: a word with blanks or quotes is quoted, and inside
# the quotes " and \ take a backslash; "%" starts a specifier unless doubled.
set(exec "${program}")
if(exec MATCHES "[ \t\"'\\\\;]")
  string(REGEX REPLACE "([\"\\\\])" "\\\\\\1" exec "${exec}")
  set(exec "\"${exec}\"")
endif()
string(REPLACE "%" "%%" TOVIK_EXEC_START "${exec}")

foreach(pair "tovik-bot.desktop.in|applications/tovik-bot.desktop"
             "tovik-bot@.service.in|systemd/user/tovik-bot@.service")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  set(target "$ENV{DESTDIR}${DATADIR}/${target}")
  message(STATUS "Installing: ${target}")
  configure_file("${TOVIK_SOURCE_DIR}/data/${source}" "${target}" @ONLY NO_SOURCE_PERMISSIONS)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${target}")
endforeach()
