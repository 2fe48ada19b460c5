#!/usr/bin/env bash
# Try the bot without the internet: starts a local IRC server (ngircd) on a
# free loopback port, prepares a scratch directory with the profile "demo"
# pointing at it, and starts Tovik-B0T there. The IRC server stops when the
# program exits.
#
#   scripts/demo.sh
#
# Then, in the program: Programm -> Profil, pick "demo", Laden, Online.
# Connect any IRC client to the host and port printed below and /msg the bot.
set -euo pipefail

demo_repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Brings the program's build up to date (the build directory can be chosen
# with TOVIK_BUILD_DIR); prints the program's path.
demo_build() {
    local build="${TOVIK_BUILD_DIR:-$demo_repo/build}"
    if [ ! -f "$build/CMakeCache.txt" ]; then
        "$demo_repo/scripts/install-deps.sh" >&2
        cmake -S "$demo_repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DTOVIK_BUILD_TESTS=OFF -DTOVIK_BUILD_BENCH=OFF >/dev/null
    fi
    cmake --build "$build" -j"$(nproc)" --target tovik-bot >&2
    echo "$build/src/tovik-bot"
}

demo_free_port() {
    local port
    for _ in $(seq 1 50); do
        port=$((20000 + RANDOM % 30000))
        # Nobody answers on it: it is free.
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
            echo "$port"
            return 0
        fi
    done
    echo "no free port found" >&2
    return 1
}

# demo_start_ircd <dir> <port>: ngircd in the foreground, its pid in DEMO_IRCD_PID.
# Started as root it drops to the user nobody, so its files are readable by all.
demo_start_ircd() {
    local dir=$1 port=$2
    mkdir -p "$dir"
    chmod 755 "$dir"
    cat >"$dir/ngircd.conf" <<CONF
[Global]
Name = irc.tovik.test
Info = Tovik-B0T demo server
Listen = 127.0.0.1
Ports = $port
MotdPhrase = Willkommen auf dem Demo-Server von Tovik-B0T
AdminInfo1 = Demo
AdminInfo2 = Demo
AdminEMail = demo@tovik.test
[Limits]
PingTimeout = 300
MaxNickLength = 30
[Options]
PAM = no
DNS = no
Ident = no
CONF
    chmod 644 "$dir/ngircd.conf"
    /usr/sbin/ngircd -n -f "$dir/ngircd.conf" >"$dir/ngircd.log" 2>&1 &
    DEMO_IRCD_PID=$!
    for _ in $(seq 1 50); do
        if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then return 0; fi
        sleep 0.1
    done
    echo "ngircd did not start; see $dir/ngircd.log" >&2
    return 1
}

# demo_write_profile <workdir> <port>: PROFILES/demo.ini, Windows-1252, CR LF.
demo_write_profile() {
    local work=$1 port=$2
    mkdir -p "$work/PROFILES"
    printf '%s\r\n' \
        '[General]' 'CharTime=80' \
        '[IRC]' 'Server=127.0.0.1' "Port=$port" 'CommandoChannel=#Tovik-Demo' 'BotNick=Tovik' \
        '[PersonData]' 'PreName=Tovik' 'LastName=Demo' 'Sex=0' 'Location=Berlin' 'Age=23' \
        >"$work/PROFILES/demo.ini"
}

demo_main() {
    command -v ngircd >/dev/null 2>&1 || [ -x /usr/sbin/ngircd ] || "$demo_repo/scripts/install-deps.sh" --ircd
    local bot scratch port
    bot=$(demo_build)
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/tovik-demo.XXXXXX")
    port=$(demo_free_port)
    demo_start_ircd "$scratch/ircd" "$port"
    trap 'kill "$DEMO_IRCD_PID" 2>/dev/null || true; wait "$DEMO_IRCD_PID" 2>/dev/null || true' EXIT
    demo_write_profile "$scratch/work" "$port"

    cat <<INFO
Local IRC server: 127.0.0.1 port $port (ngircd, stops when the program exits)
Working directory: $scratch/work (profile "demo" in PROFILES/)

In Tovik-B0T: Programm -> Profil, choose "demo", Laden, then Online.
Then connect any IRC client to 127.0.0.1 port $port, for example
    irssi -c 127.0.0.1 -p $port -n Gast
and talk to the bot:
    /msg Tovik hallo, wie alt bist du?
The bot reports every message into its command channel #Tovik-Demo, which
is invite-only and moderated. To get in and speak there:
  1. in the program's console line at the bottom of its window, type
         invite Gast
     and press Enter;
  2. in the IRC client:
         /join #Tovik-Demo
  3. in the program's console line again:
         voice Gast
  4. in the IRC client, a remote command:
         .info
INFO
    (cd "$scratch/work" && "$bot")
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
    demo_main "$@"
fi
