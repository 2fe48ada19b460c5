#include "app/ProgramOptions.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>

#include "profile/ProfileStore.h"

namespace tovik {

const char* const kProgramHelp =
    "Aufruf: tovik-bot [Optionen]\n"
    "Ein IRC-Chatbot, der sich als deutschsprachige Person ausgibt.\n"
    "Die Profile liegen in PROFILES im Arbeitsverzeichnis.\n"
    "\n"
    "Optionen:\n"
    "  --profile NAME   lädt beim Start das Profil NAME (PROFILES/NAME.ini muss es geben)\n"
    "  --instance NAME  wie --profile, NAME aber als Instanzname einer systemd-Unit (%i):\n"
    "                   \\xNN steht für das Byte NN, ein \"-\" bleibt ein \"-\"\n"
    "  --online         geht online, sobald das Profil geladen ist (braucht --profile)\n"
    "  --headless       läuft ohne Fenster und ohne Bildschirm (braucht --profile);\n"
    "                   das Log wird am Ende neben dem Profil gespeichert,\n"
    "                   Fehler gehen auf die Standardfehlerausgabe\n"
    "  --desktop        arbeitet im Datenordner des Benutzers\n"
    "                   ($XDG_DATA_HOME/tovik-bot oder ~/.local/share/tovik-bot)\n"
    "  --help           zeigt diese Hilfe\n"
    "\n"
    "SIGTERM, SIGHUP und SIGINT beenden das Programm; das Log wird dabei gespeichert.\n"
    "\n"
    "Rückgabewerte:\n"
    "  0  normal beendet\n"
    "  2  falsche Optionen\n"
    "  3  Profil abgelehnt: falscher Name, kein solches Profil, keine Sperre möglich,\n"
    "     oder seine Einstellungen verhindern das Online-Gehen (ein Neustart hilft nicht)\n"
    "  4  das Profil ist in einem anderen Tovik-B0T geladen (später erneut versuchen)\n"
    "  5  das Log konnte am Ende nicht gespeichert werden (das Journal bleibt)\n"
    "  6  tovik-botd fehlt neben tovik-bot (--headless braucht es)\n";

std::optional<ProgramOptions> ParseProgramOptions(const std::vector<std::string>& args, std::string* problem) {
    ProgramOptions options;
    auto fail = [&](std::string text) {
        *problem = std::move(text);
        return std::nullopt;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool profile = arg == "--profile" || arg.starts_with("--profile=");
        const bool instance = arg == "--instance" || arg.starts_with("--instance=");
        if (profile || instance) {
            const std::string option = profile ? "--profile" : "--instance";
            std::string value;
            if (arg.size() > option.size()) {
                value = arg.substr(option.size() + 1);
            } else if (i + 1 < args.size()) {
                value = args[++i];
            } else {
                return fail(option + " braucht einen Profilnamen");
            }
            options.profile = instance ? UnescapeUnitInstance(value) : value;
        } else if (arg == "--online") {
            options.online = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--desktop") {
            options.desktop = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg.starts_with("--")) {
            return fail("unbekannte Option " + arg + " (--help zeigt die Optionen)");
        }
    }
    if (options.help) return options;
    if (options.headless && !options.profile) return fail("--headless braucht --profile NAME");
    // Without a profile there is nothing to go online with; said, not ignored.
    if (options.online && !options.profile) return fail("--online braucht --profile NAME");
    return options;
}

std::optional<int> ReadCommandLine(int argc, char* argv[], ProgramOptions& options, bool alwaysHeadless) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (alwaysHeadless) args.insert(args.begin(), "--headless");
    std::string problem;
    auto read = ParseProgramOptions(args, &problem);
    if (!read) {
        std::fprintf(stderr, "tovik-bot: %s\n", problem.c_str());
        return kExitBadOptions;
    }
    if (read->help) {
        std::fputs(kProgramHelp, stdout);
        return kExitOk;
    }
    options = std::move(*read);
    return std::nullopt;
}

int RunHeadlessProgram(char* argv[]) {
    // The running program's own folder, wherever it was started from (a
    // link, a relative path, a PATH lookup): the two are installed together.
    std::string program = "tovik-botd";
    char self[PATH_MAX];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string_view path(self, static_cast<std::size_t>(length));
        program = std::string(path.substr(0, path.rfind('/') + 1)) + program;
    }
    std::vector<char*> args{program.data()};
    for (char** arg = argv + 1; *arg != nullptr; ++arg) args.push_back(*arg);
    args.push_back(nullptr);
    ::execv(program.c_str(), args.data());
    const int error = errno;
    const std::string reason = error == ENOENT                     ? "es fehlt"
                               : error == EACCES || error == EPERM ? "es ist nicht ausführbar"
                                                                   : "Fehler " + std::to_string(error);
    std::fprintf(stderr, "tovik-bot: Das Programm ohne Fenster %s kann nicht starten: %s\n", program.c_str(),
                 reason.c_str());
    return kExitNoHeadlessProgram;
}

std::string UnescapeUnitInstance(std::string_view instance) {
    auto hex = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    std::string out;
    for (std::size_t i = 0; i < instance.size(); ++i) {
        if (instance[i] == '\\' && i + 3 < instance.size() && instance[i + 1] == 'x' && hex(instance[i + 2]) >= 0 &&
            hex(instance[i + 3]) >= 0) {
            out += static_cast<char>(hex(instance[i + 2]) * 16 + hex(instance[i + 3]));
            i += 3;
        } else {
            out += instance[i];
        }
    }
    return out;
}

bool EnterDesktopDataFolder() {
    const std::string dir = DesktopProgramDirectory(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    if (!dir.empty() && MakePrivateDirectories(dir) && ::chdir(dir.c_str()) == 0) return true;
    std::fprintf(stderr, "tovik-bot: Datenordner %s nicht nutzbar, bleibe im Arbeitsverzeichnis\n",
                 dir.empty() ? "(kein HOME)" : dir.c_str());
    return false;
}

}  // namespace tovik
