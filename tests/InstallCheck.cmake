# Installs the build into a scratch prefix and checks what a desktop needs:
# the program, a menu entry that starts it in its data folder, and the icon
# the entry names.
file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD_DIR}" --prefix "${PREFIX}"
                RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${result}")
endif()
foreach(file bin/tovik-bot share/applications/tovik-bot.desktop share/icons/hicolor/scalable/apps/tovik-bot.svg)
  if(NOT EXISTS "${PREFIX}/${file}")
    message(FATAL_ERROR "not installed: ${file}")
  endif()
endforeach()
file(STRINGS "${PREFIX}/share/applications/tovik-bot.desktop" entry)
foreach(line "Exec=tovik-bot --desktop" "Icon=tovik-bot" "Type=Application" "Terminal=false")
  list(FIND entry "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "menu entry lacks \"${line}\"")
  endif()
endforeach()
file(REMOVE_RECURSE "${PREFIX}")
