#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and packaging need
# (file: CPack's dpkg-shlibdeps step finds the programs with it); with
# --ircd also the IRC server that the demo starts; with --tests also what the
# test suite needs (GoogleTest, Google Benchmark, that IRC server and a
# second one with flood protection of its own, IRC services for SASL log-ins,
# the openssl tool for the test servers' certificates, systemd's tools that
# read the installed user unit as systemd does, lintian, which checks the
# Debian package, the screenshot tools, and for the network lab of the photo
# tests a UPnP/NAT-PMP router daemon, nftables, iproute2 and a real IRC
# client that fetches the photo).
# The system's certificate store is always installed: the bot checks a TLS
# server's certificate against it. libidn's stringprep prepares SCRAM
# names and passwords (SASLprep), so the program links it.
#
# The IRC servers' packages start a system-wide server on all interfaces at
# every boot, and atheme-services its services daemon. The tests start their
# own on loopback, so the packages' services are neither started nor enabled
# here, and stopped if they run. The same holds for miniupnpd, a router's
# daemon that the lab starts inside a network namespace of its own; its
# package asks questions whose defaults (do not start the daemon) are right.
set -euo pipefail
packages=(build-essential cmake pkg-config qt6-base-dev qt6-translations-l10n libgl-dev libidn-dev ca-certificates
          libminiupnpc-dev libnatpmp-dev file)
with_ircd=0
services=(ngircd)
case "${1:-}" in
  --tests)
    with_ircd=1
    services+=(inspircd atheme-services miniupnpd)
    packages+=(libgtest-dev libgmock-dev libbenchmark-dev ngircd inspircd
               atheme-services openssl systemd lintian
               miniupnpd miniupnpd-nftables nftables iproute2 weechat-headless weechat-plugins
               xvfb xauth x11-apps xdotool imagemagick fonts-dejavu-core) ;;
  --ircd)
    with_ircd=1
    packages+=(ngircd) ;;
esac
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  # A policy that forbids starting services while the packages install
  # (the Debian way: invoke-rc.d and deb-systemd-invoke ask it first).
  policy=/usr/sbin/policy-rc.d
  own_policy=0
  if [ ! -e "$policy" ]; then
    printf '#!/bin/sh\nexit 101\n' | "${sudo_cmd[@]}" tee "$policy" >/dev/null
    "${sudo_cmd[@]}" chmod 755 "$policy"
    own_policy=1
  fi
  trap '[ "$own_policy" = 1 ] && "${sudo_cmd[@]}" rm -f "$policy"' EXIT
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "$with_ircd" = 1 ]; then
  for service in "${services[@]}"; do
    if command -v systemctl >/dev/null 2>&1 && [ -d /run/systemd/system ]; then
      "${sudo_cmd[@]}" systemctl disable --now "$service.service" >/dev/null 2>&1 || true
    elif [ -x "/etc/init.d/$service" ]; then
      "${sudo_cmd[@]}" "/etc/init.d/$service" stop >/dev/null 2>&1 || true
      "${sudo_cmd[@]}" update-rc.d "$service" disable >/dev/null 2>&1 || true
    fi
  done
fi
