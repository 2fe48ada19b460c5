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

# Each line the menu entry and the service must hold; the program they name
# is the installed one.
set(program "${PREFIX}/bin/tovik-bot")
function(check_lines file)
  file(STRINGS "${PREFIX}/${file}" lines)
  foreach(line ${ARGN})
    list(FIND lines "${line}" at)
    if(at EQUAL -1)
      message(FATAL_ERROR "${file} lacks \"${line}\"")
    endif()
  endforeach()
endfunction()
check_lines(share/applications/tovik-bot.desktop "Exec=${program} --desktop" "TryExec=${program}"
            "Icon=tovik-bot" "Type=Application" "Terminal=false")
check_lines(share/systemd/user/tovik-bot@.service
            "ExecStart=${program} --desktop --headless --online --profile %I" "WantedBy=default.target")

# The path named there runs: it answers --help in German.
execute_process(COMMAND "${program}" --help RESULT_VARIABLE result OUTPUT_VARIABLE help)
if(NOT result EQUAL 0 OR NOT help MATCHES "Aufruf: tovik-bot \\[Optionen\\].*--headless")
  message(FATAL_ERROR "${program} --help: ${result}\n${help}")
endif()
file(REMOVE_RECURSE "${PREFIX}")
