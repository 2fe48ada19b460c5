# Run by `cmake --install`: writes the menu entry and the user service with
# the installed program's full path, straight to where they are installed,
# and the changelog compressed, as Debian wants it. The prefix is known only
# now (cmake --install --prefix), and nothing is written into the build
# tree, which a run through sudo would leave to root.
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

# The distribution's user units (installed to /usr, by its package) are in
# /usr/lib/systemd/user, where Debian's systemd keeps its own and debhelper
# puts every package's; any other prefix keeps them below share, where a
# user's own manager looks ($XDG_DATA_HOME/systemd/user) and, for
# /usr/local, the system's.
set(UNITDIR "${DATADIR}/systemd/user")
if(CMAKE_INSTALL_PREFIX STREQUAL "/usr")
  set(UNITDIR "/usr/lib/systemd/user")
endif()
foreach(pair "tovik-bot.desktop.in|${DATADIR}/applications/tovik-bot.desktop"
             "tovik-bot@.service.in|${UNITDIR}/tovik-bot@.service")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 source)
  list(GET pair 1 target)
  set(target "$ENV{DESTDIR}${target}")
  message(STATUS "Installing: ${target}")
  configure_file("${TOVIK_SOURCE_DIR}/data/${source}" "${target}" @ONLY NO_SOURCE_PERMISSIONS)
  list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${target}")
endforeach()

# gzip -9n: the same bytes at every build (no name, no time inside).
set(target "$ENV{DESTDIR}${DATADIR}/doc/tovik-bot/changelog.gz")
message(STATUS "Installing: ${target}")
file(MAKE_DIRECTORY "$ENV{DESTDIR}${DATADIR}/doc/tovik-bot")
execute_process(COMMAND gzip -9n -c "${TOVIK_SOURCE_DIR}/packaging/changelog" OUTPUT_FILE "${target}"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "gzip failed: ${result}")
endif()
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${target}")
