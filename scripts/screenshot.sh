#!/usr/bin/env bash
# Takes docs/screenshot.png: starts Tovik-B0T under a virtual X server with
# the demo profile and a local IRC server, loads the profile and goes online
# with the keyboard as an operator would, lets a guest send the bot a
# private message, and captures the main window.
#
#   scripts/screenshot.sh
set -euo pipefail

source "$(dirname "${BASH_SOURCE[0]}")/demo.sh"
repo=$demo_repo
for tool in Xvfb import xdotool xwininfo; do
    command -v "$tool" >/dev/null 2>&1 || { "$repo/scripts/install-deps.sh" --tests; break; }
done
bot=$(demo_build)

scratch=$(mktemp -d "${TMPDIR:-/tmp}/tovik-shot.XXXXXX")
port=$(demo_free_port)
demo_start_ircd "$scratch/ircd" "$port"
demo_write_profile "$scratch/work" "$port"

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >"$scratch/xvfb.log" 2>&1 &
xvfb_pid=$!
bot_pid=
guest_pid=
cleanup() {
    for pid in $bot_pid $guest_pid $DEMO_IRCD_PID $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
export DISPLAY=$display
for _ in $(seq 1 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

# Waits for a window with the given title; prints its id.
wait_window() {
    local id
    for _ in $(seq 1 100); do
        id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1 || true)
        if [ -n "$id" ]; then echo "$id"; return 0; fi
        sleep 0.1
    done
    echo "window '$1' did not appear" >&2
    return 1
}
keys() { xdotool key --clearmodifiers --delay 80 "$@"; sleep 0.4; }

(cd "$scratch/work" && exec "$bot") >"$scratch/bot.log" 2>&1 &
bot_pid=$!
main=$(wait_window '--\] Tovik-B0T \[-- .*')
xdotool windowfocus --sync "$main"

# Programm -> Profil, Tab from the list to the name field, type, Laden.
keys alt+p p
profile=$(wait_window '--\] Profil \[--')
xdotool windowfocus --sync "$profile"
keys Tab
xdotool type --delay 60 demo
keys alt+l
sleep 0.5
xdotool windowfocus --sync "$main"
keys alt+o

# A guest says hello in private; the bot's answer follows at typing speed.
(
    exec 3<>"/dev/tcp/127.0.0.1/$port"
    printf 'NICK Anna\r\nUSER anna 0 * :Anna\r\n' >&3
    sleep 2
    printf 'PRIVMSG Tovik :hallo! wie alt bist du und woher kommst du?\r\n' >&3
    sleep 15
) &
guest_pid=$!
sleep 6

mkdir -p "$repo/docs"
import -window "$main" "$repo/docs/screenshot.png"
echo "wrote $repo/docs/screenshot.png"
keys alt+b
