# `cpack -G DEB` in a build folder makes tovik-bot_<version>_<arch>.deb from
# the same install rules as `cmake --install`, so the package and a hand
# install cannot drift apart; scripts/package.sh runs it with Debian's build
# flags. Debian's own tools read what it holds: dpkg-shlibdeps names the
# libraries' packages the programs need, lintian checks it.
set(TOVIK_PACKAGE_MAINTAINER "Tovik-B0T maintainers <maintainers@users.noreply.c-seed-51ee7724.example>"
    CACHE STRING "The Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tovik-bot)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_CONTACT "${TOVIK_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "IRC chat bot that poses as a German-speaking person
Tovik-B0T connects to an IRC server, opens and locks its own command
channel and answers every private message with canned German lines,
chosen by keyword rules and typed at a person's pace. It offers the
persona's photo over DCC SEND when asked for one and reports every
private message into the command channel.
.
It runs as a desktop program with one window, or without a window
(tovik-botd, on Qt Core and Network alone) as a systemd user service
for one profile: systemctl --user enable --now tovik-bot@NAME.")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The system's certificate store checks TLS servers; Qt's German texts in
# message boxes come from its translations.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "ca-certificates, qt6-translations-l10n")
# The menu entry and the unit name the installed program (/usr/bin/...),
# which the install step writes with the prefix it installs to: the prefix
# must be /usr at install time, with the files going below DESTDIR.
set(CPACK_SET_DESTDIR ON)
set(CPACK_INSTALL_PREFIX /usr)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
