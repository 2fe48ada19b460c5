# Builds the Debian package as the README says (scripts/package.sh, without
# installing packages) and checks what apt would install: the dependencies
# by name, the files in the system's places naming /usr/bin, the changelog of
# this version, lintian without errors; unpacked into a scratch root, the
# programs there find each other. apt only simulates; the system is untouched.
set(ENV{ASAN_OPTIONS} "detect_leaks=0")
execute_process(COMMAND "${SOURCE_DIR}/scripts/package.sh" --no-deps "${BUILD}" RESULT_VARIABLE result
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
file(GLOB deb "${BUILD}/tovik-bot_${VERSION}_*.deb")
if(NOT result EQUAL 0 OR NOT deb)
  message(FATAL_ERROR "scripts/package.sh: ${result}\n${out}")
endif()
execute_process(COMMAND dpkg-deb -f "${deb}" Depends OUTPUT_VARIABLE depends)
foreach(package libc6 libstdc\\+\\+6 libqt6core6 libqt6network6 libqt6widgets6)
  if(NOT depends MATCHES "(^|, )${package} \\(>= ")
    message(FATAL_ERROR "Depends lacks ${package}: ${depends}")
  endif()
endforeach()

set(root "${BUILD}/root")
file(REMOVE_RECURSE "${root}")
execute_process(COMMAND dpkg-deb -x "${deb}" "${root}" RESULT_VARIABLE result)
foreach(pair "usr/share/applications/tovik-bot.desktop|Exec=/usr/bin/tovik-bot --desktop"
             "usr/share/applications/tovik-bot.desktop|TryExec=/usr/bin/tovik-bot"
             "usr/lib/systemd/user/tovik-bot@.service|ExecStart=/usr/bin/tovik-bot --desktop --headless --online --instance %i"
             "usr/share/icons/hicolor/scalable/apps/tovik-bot.svg|</svg>"
             "usr/share/doc/tovik-bot/copyright|Upstream-Name: Tovik-B0T")
  string(REPLACE "|" ";" pair "${pair}")
  list(GET pair 0 file)
  list(GET pair 1 line)
  file(STRINGS "${root}/${file}" lines)
  list(FIND lines "${line}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${file} lacks \"${line}\"")
  endif()
endforeach()
execute_process(COMMAND gzip -dc "${root}/usr/share/doc/tovik-bot/changelog.gz" OUTPUT_VARIABLE changelog)
if(NOT changelog MATCHES "^tovik-bot \\(${VERSION}\\) ")
  message(FATAL_ERROR "the changelog's newest entry is not ${VERSION}:\n${changelog}")
endif()
execute_process(COMMAND ldd "${root}/usr/bin/tovik-botd" OUTPUT_VARIABLE libraries)
if(NOT libraries MATCHES "libQt6Network" OR libraries MATCHES "libQt6(Gui|Widgets|DBus)|libGL|libEGL|libX11|libxcb")
  message(FATAL_ERROR "tovik-botd links:\n${libraries}")
endif()
# The window's program runs the one beside it for --headless.
file(MAKE_DIRECTORY "${root}/work")
execute_process(COMMAND "${root}/usr/bin/tovik-bot" --headless --profile anna WORKING_DIRECTORY "${root}/work"
                RESULT_VARIABLE result ERROR_VARIABLE errors TIMEOUT 60)
if(NOT result EQUAL 3 OR NOT errors MATCHES "Das Profil \"anna\" existiert nicht")
  message(FATAL_ERROR "tovik-bot --headless from the package: ${result}\n${errors}")
endif()

# lintian finds no error; apt, simulating, would install it here.
foreach(command "lintian;--fail-on;error" "apt-get;--simulate;install")
  execute_process(COMMAND ${command} "${deb}" RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${command}: ${result}\n${out}")
  endif()
endforeach()
file(REMOVE_RECURSE "${root}")
