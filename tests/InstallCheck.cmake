# Installs the build into a scratch prefix and checks what a desktop needs:
# the program, a menu entry that starts it by its full path in its data
# folder, the icon the entry names, and the user service for a headless bot.
# A second prefix with a blank and a "%" works as well, the install writes
# nothing into the build tree, and the service's command line, filled in as
# systemd does, loads the profile its instance names.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
set(stamp "${PREFIX}.stamp")
set(spaced "${PREFIX} B0T 100%")
file(REMOVE_RECURSE "${PREFIX}" "${spaced}")
file(WRITE "${stamp}" "")
foreach(prefix "${PREFIX}" "${spaced}")
  execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${prefix}"
                  RESULT_VARIABLE result OUTPUT_QUIET)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "cmake --install failed: ${result}")
  endif()
endforeach()
foreach(file bin/tovik-bot bin/tovik-botd share/applications/tovik-bot.desktop share/icons/hicolor/scalable/apps/tovik-bot.svg
             share/systemd/user/tovik-bot@.service)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
# The lines they must hold name the installed program; with the blank and
# the "%" it is quoted, the "%" doubled.
set(program "${PREFIX}/bin/tovik-bot")
string(REPLACE "%" "%%" quoted "\"${spaced}/bin/tovik-bot\"")
set(service "systemd/user/tovik-bot@.service|ExecStart=")
foreach(pair "applications/tovik-bot.desktop|Exec=${program} --desktop" "applications/tovik-bot.desktop|TryExec=${program}"
             "applications/tovik-bot.desktop|Icon=tovik-bot" "applications/tovik-bot.desktop|Type=Application"
             "${service}${program} --desktop --headless --online --instance %i"
             "systemd/user/tovik-bot@.service|RestartPreventExitStatus=2 3 5 6"
             "applications/tovik-bot.desktop|Exec=${quoted} --desktop|${spaced}"
             "applications/tovik-bot.desktop|TryExec=${spaced}/bin/tovik-bot|${spaced}"
             "${service}${quoted} --desktop --headless --online --instance %i|${spaced}")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 file)
  list(GET pair 1 line)
  list(APPEND pair "${PREFIX}")
  list(GET pair 2 prefix)
  file(STRINGS "${prefix}/share/${file}" lines)
  list(FIND lines "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${prefix}/share/${file} lacks \"${line}\"")
  endif()
endforeach()
# The path named there runs: it answers --help in German.
execute_process(COMMAND "${program}" --help RESULT_VARIABLE result OUTPUT_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "Aufruf: tovik-bot \\[Optionen\\].*--headless")
  message(FATAL_ERROR "${program} --help: ${result}\n${help}")
endif()
# Nothing in the build tree changed but CMake's own list of what it installed.
execute_process(COMMAND find "${BUILD_DIR}" -newer "${stamp}" -type f -not -name "install_manifest*.txt"
                        -not -path "${PREFIX}*" -not -path "${BUILD_DIR}/Testing/*" OUTPUT_VARIABLE written)
if(NOT written STREQUAL "")
  message(FATAL_ERROR "the install wrote into the build tree:\n${written}")
endif()

# systemd's own reading of the unit, where it is installed (it wants a
# runtime folder, not a running manager): the quoted program is found.
set(unit "${spaced}/share/systemd/user/tovik-bot@.service")
find_program(analyze systemd-analyze)
if(analyze)
  file(COPY "${unit}" DESTINATION "${PREFIX}.run")
  set(ENV{XDG_RUNTIME_DIR} "${PREFIX}.run")
  execute_process(COMMAND "${analyze}" verify --user "${PREFIX}.run/tovik-bot@Anna-Lena.service"
                  RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "systemd-analyze verify: ${errors}")
  endif()
endif()

# The unit's command line for an instance, as systemd runs it: split into
# words, then "%i" replaced by the instance as the unit's name holds it and
# "%%" by "%". The one profile there has a port that is no number, so the
# start stops at going online with that text: the profile was loaded.
file(STRINGS "${unit}" line REGEX "^ExecStart=")
string(REGEX REPLACE "^ExecStart=" "" line "${line}")
separate_arguments(words UNIX_COMMAND "${line}")
set(lucja "\\xc5\\x81ucja\\x20M")
find_program(escape systemd-escape)
if(escape)
  execute_process(COMMAND "${escape}" "Łucja M" OUTPUT_VARIABLE lucja OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(ENV{XDG_DATA_HOME} "${PREFIX}.data")
foreach(pair "Anna-Lena|Anna-Lena" "Anna\\x2dLena|Anna-Lena" "${lucja}|Łucja M")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 instance)
  list(GET pair 1 name)
  set(command "")
  foreach(word IN LISTS words)
    string(REPLACE "%i" "${instance}" word "${word}")
    string(REPLACE "%%" "%" word "${word}")
    list(APPEND command "${word}")
  endforeach()
  file(REMOVE_RECURSE "${PREFIX}.data")
  file(WRITE "${PREFIX}.data/tovik-bot/PROFILES/${name}.ini" "[IRC]\r\nServer=127.0.0.1\r\nPort=abc\r\n")
  execute_process(COMMAND ${command} RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 60)
  if(NOT result EQUAL 3 OR NOT errors MATCHES "'abc' ist kein g")
    message(FATAL_ERROR "tovik-bot@${instance}: status ${result}\n${errors}")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}" "${spaced}" "${PREFIX}.data" "${PREFIX}.run" "${stamp}")
