#pragma once
// The command line, its help, and the exit statuses a service manager acts
// on. The window and the bot without one read the same options with the
// same rules.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tovik {

// How the program ends. A service manager restarts it on the temporary
// ones only (the user unit lists the others in RestartPreventExitStatus).
enum ExitStatus : int {
    kExitOk = 0,
    kExitBadOptions = 2,   // the command line is wrong
    kExitRefused = 3,      // the profile cannot be used as it stands: a bad name, no
                           // such profile, no lock to be had, settings that stop going online
    kExitProfileBusy = 4,  // another copy has the profile loaded: temporary
    kExitSaveFailed = 5,   // the log could not be saved at the end; its journal stays
    kExitNoHeadlessProgram = 6,  // tovik-botd, which --headless runs, is missing beside tovik-bot
};

struct ProgramOptions {
    std::optional<std::string> profile;  // the operating system's bytes
    bool online = false;
    bool headless = false;
    bool desktop = false;
    bool help = false;
};

// The options after the program's name. Empty, with the reason in *problem
// (German, UTF-8), when they are wrong. Qt's own options (-platform,
// -style ...) have a single dash and are left to Qt.
std::optional<ProgramOptions> ParseProgramOptions(const std::vector<std::string>& args, std::string* problem);

// A unit's instance name as systemd hands it over (%i): "\xNN" is the byte
// NN, everything else stands for itself. So "Anna-Lena" stays "Anna-Lena",
// and what systemd-escape makes of "Łucja M" comes back as it was; a "-"
// never stands for a "/", which no profile name may hold.
std::string UnescapeUnitInstance(std::string_view instance);

// The help text (UTF-8), the exit statuses included.
extern const char* const kProgramHelp;

// Reads the command line as both programs do: the status to end with at once
// (wrong options, after saying so; --help, after showing it), or nothing
// when the program is to run. `alwaysHeadless` is tovik-botd's: it has no
// window, so --headless goes without saying.
std::optional<int> ReadCommandLine(int argc, char* argv[], ProgramOptions& options, bool alwaysHeadless = false);

// The program that runs the bot without a window: tovik-botd beside the
// running program, on Qt Core and Network alone, so that a bot online for
// weeks maps no GUI library. It takes this process's place with the same
// command line (so a service manager sees the same process and its exit
// statuses); returns only when it cannot, after saying why, with
// kExitNoHeadlessProgram.
int RunHeadlessProgram(char* argv[]);

// Started from the desktop menu (the menu entry passes --desktop), the working
// directory is the home folder or "/", no place for PROFILES and the logs: the
// program works in its per-user data folder instead, made (for the user
// alone) on the first start. False, after saying so, when it cannot.
bool EnterDesktopDataFolder();

}  // namespace tovik
