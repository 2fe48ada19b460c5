# Installs the build into a scratch prefix and checks what a desktop needs:
# the program, a menu entry that starts it by its full path in its data
# folder, the icon the entry names, and the user service for a headless bot.
file(REMOVE_RECURSE "${PREFIX}")
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
# The lines they must hold name the installed program.
set(program "${PREFIX}/bin/tovik-bot")
foreach(pair "applications/tovik-bot.desktop|Exec=${program} --desktop" "applications/tovik-bot.desktop|TryExec=${program}"
             "applications/tovik-bot.desktop|Icon=tovik-bot" "applications/tovik-bot.desktop|Type=Application"
             "systemd/user/tovik-bot@.service|ExecStart=${program} --desktop --headless --online --profile %I")
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
file(REMOVE_RECURSE "${PREFIX}")
