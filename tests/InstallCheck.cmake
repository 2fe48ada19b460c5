# Installs the build into a scratch prefix and checks what a desktop needs:
# the program, a menu entry that starts it by its full path in its data
# folder, the icon the entry names, and the user service for a headless bot.
# A second prefix with a blank and a "%" in it must work as well, the install
# writes nothing into the build tree, and the service's command line, taken
# apart and filled in as systemd does, loads the profile its instance names.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
set(stamp "${PREFIX}.stamp")
file(REMOVE_RECURSE "${PREFIX}")
file(WRITE "${stamp}" "")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/tovik-bot share/applications/tovik-bot.desktop share/icons/hicolor/scalable/apps/tovik-bot.svg
             share/systemd/user/tovik-bot@.service)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()

# The lines of an installed file, or the one line that starts with `key`.
function(installed_line prefix file key out)
  file(STRINGS "${prefix}/share/${file}" lines)
  foreach(line IN LISTS lines)
    if(line MATCHES "^${key}")
      set(${out} "${line}" PARENT_SCOPE)
      return()
    endif()
  endforeach()
  message(FATAL_ERROR "${file} has no line starting with ${key}")
endfunction()

# The lines they must hold name the installed program.
set(program "${PREFIX}/bin/tovik-bot")
foreach(pair "applications/tovik-bot.desktop|Exec=${program} --desktop" "applications/tovik-bot.desktop|TryExec=${program}"
             "applications/tovik-bot.desktop|Icon=tovik-bot" "applications/tovik-bot.desktop|Type=Application"
             "systemd/user/tovik-bot@.service|ExecStart=${program} --desktop --headless --online --instance %i"
             "systemd/user/tovik-bot@.service|RestartPreventExitStatus=2 3 5")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 file)
  list(GET pair 1 line)
  file(STRINGS "${PREFIX}/share/${file}" lines)
  list(FIND lines "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} lacks \"${line}\"")
  endif()
endforeach()
# The path named there runs: it answers --help in German.
execute_process(COMMAND "${program}" --help RESULT_VARIABLE result OUTPUT_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "Aufruf: tovik-bot \\[Optionen\\].*--headless")
  message(FATAL_ERROR "${program} --help: ${result}\n${help}")
endif()

# A prefix with a blank and a "%": quoted, the "%" doubled, by each file's rules.
set(spaced "${PREFIX} B0T 100%")
file(REMOVE_RECURSE "${spaced}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${spaced}"
                RESULT_VARIABLE result OUTPUT_QUIET)
set(program "${spaced}/bin/tovik-bot")
string(REPLACE "%" "%%" doubled "${program}")
foreach(pair "applications/tovik-bot.desktop|Exec=|Exec=\"${doubled}\" --desktop"
             "applications/tovik-bot.desktop|TryExec=|TryExec=${program}"
             "systemd/user/tovik-bot@.service|ExecStart=|ExecStart=\"${doubled}\" --desktop --headless --online --instance %i")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 file)
  list(GET pair 1 key)
  list(GET pair 2 expected)
  installed_line("${spaced}" "${file}" "${key}" line)
  if(NOT line STREQUAL expected)
    message(FATAL_ERROR "${file}:\n  ${line}\nnot\n  ${expected}")
  endif()
endforeach()

# Nothing in the build tree changed but CMake's own list of what it installed.
execute_process(COMMAND find "${BUILD_DIR}" -newer "${stamp}" -type f -not -name "install_manifest*.txt"
                        -not -path "${PREFIX}*" -not -path "${BUILD_DIR}/Testing/*"
                OUTPUT_VARIABLE written)
if(NOT written STREQUAL "")
  message(FATAL_ERROR "the install wrote into the build tree:\n${written}")
endif()

# systemd's own reading of the unit, where systemd is installed: the quoted
# program is found (it needs a runtime folder, and no running manager).
find_program(analyze systemd-analyze)
if(analyze)
  set(runtime "${PREFIX}.run")
  file(MAKE_DIRECTORY "${runtime}")
  file(COPY "${spaced}/share/systemd/user/tovik-bot@.service" DESTINATION "${runtime}")
  set(ENV{XDG_RUNTIME_DIR} "${runtime}")
  execute_process(COMMAND "${analyze}" verify --user "${runtime}/tovik-bot@Anna-Lena.service"
                  RESULT_VARIABLE result ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "systemd-analyze verify: ${errors}")
  endif()
  file(REMOVE_RECURSE "${runtime}")
else()
  message(STATUS "systemd-analyze not installed: the unit is not read by systemd itself")
endif()

# The unit's command line as systemd runs it for an instance: split into
# words, "%i" replaced by the instance as it stands in the unit's name, "%%"
# by "%". The one profile there has a port that is no number, so the start
# stops at going online with that text: proof that the profile was loaded.
installed_line("${spaced}" "systemd/user/tovik-bot@.service" "ExecStart=" line)
string(REGEX REPLACE "^ExecStart=" "" line "${line}")
separate_arguments(words UNIX_COMMAND "${line}")
set(data "${PREFIX}.data")
set(ENV{XDG_DATA_HOME} "${data}")
set(instances "Anna-Lena" "Anna\\x2dLena")
find_program(escape systemd-escape)
if(escape)
  execute_process(COMMAND "${escape}" "Łucja M" OUTPUT_VARIABLE escaped OUTPUT_STRIP_TRAILING_WHITESPACE)
  list(APPEND instances "${escaped}")
else()
  list(APPEND instances "\\xc5\\x81ucja\\x20M")
endif()
foreach(instance IN LISTS instances)
  set(command "")
  foreach(word IN LISTS words)
    string(REPLACE "%i" "${instance}" word "${word}")
    string(REPLACE "%%" "%" word "${word}")
    list(APPEND command "${word}")
  endforeach()
  string(REPLACE "\\x2d" "-" name "${instance}")
  string(REPLACE "\\xc5\\x81ucja\\x20M" "Łucja M" name "${name}")
  file(REMOVE_RECURSE "${data}")
  file(WRITE "${data}/tovik-bot/PROFILES/${name}.ini" "[IRC]\r\nServer=127.0.0.1\r\nPort=abc\r\n")
  execute_process(COMMAND ${command} RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 60)
  if(NOT result EQUAL 3 OR NOT errors MATCHES "'abc' ist kein g")
    message(FATAL_ERROR "tovik-bot@${instance}: status ${result}\n${errors}")
  endif()
endforeach()
if(NOT escape)
  message(STATUS "systemd-escape not installed: its escaping was written by hand")
endif()
file(REMOVE_RECURSE "${PREFIX}" "${spaced}" "${data}" "${stamp}")
