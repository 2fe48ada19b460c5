// Tovik-B0T: reads the command line, creates the one random generator and
// either the main window (which creates its dialogs) or the bot without a
// window, and runs the event loop until the window closes or an ending
// signal comes.

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <system_error>
#include <unistd.h>

#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "ui/HeadlessBot.h"
#include "ui/MainForm_Unit.h"
#include "ui/ShutdownSignals.h"
#include "ui/UserPrompts.h"

namespace {

// The options, in UTF-8 as the terminal shows them.
constexpr const char* kHelp =
    "Aufruf: tovik-bot [Optionen]\n"
    "Ein IRC-Chatbot, der sich als deutschsprachige Person ausgibt.\n"
    "Die Profile liegen in PROFILES im Arbeitsverzeichnis.\n"
    "\n"
    "Optionen:\n"
    "  --profile NAME  lädt beim Start das Profil NAME\n"
    "  --online        geht online, sobald das Profil geladen ist\n"
    "  --headless      läuft ohne Fenster und ohne Bildschirm (braucht --profile);\n"
    "                  das Log wird am Ende neben dem Profil gespeichert,\n"
    "                  Fehler gehen auf die Standardfehlerausgabe\n"
    "  --desktop       arbeitet im Datenordner des Benutzers\n"
    "                  ($XDG_DATA_HOME/tovik-bot oder ~/.local/share/tovik-bot)\n"
    "  --help          zeigt diese Hilfe\n"
    "\n"
    "SIGTERM, SIGHUP und SIGINT beenden das Programm; das Log wird dabei gespeichert.\n";

struct Options {
    std::optional<std::string> profile;  // the operating system's bytes
    bool online = false;
    bool headless = false;
    bool desktop = false;
    bool help = false;
};

// Qt's own options (-platform, -style ...) have a single dash and are left
// to Qt; an unknown double-dash option is a typing error.
std::optional<Options> ParseOptions(int argc, char* argv[]) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--profile" && i + 1 < argc) {
            options.profile = argv[++i];
        } else if (arg.starts_with("--profile=")) {
            options.profile = arg.substr(10);
        } else if (arg == "--online") {
            options.online = true;
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--desktop") {
            options.desktop = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg.starts_with("--")) {
            std::fprintf(stderr, "tovik-bot: unbekannte Option %s (--help zeigt die Optionen)\n", arg.c_str());
            return std::nullopt;
        }
    }
    if (options.headless && !options.profile) {
        std::fprintf(stderr, "tovik-bot: --headless braucht --profile NAME\n");
        return std::nullopt;
    }
    return options;
}

// Started from the desktop menu (the menu entry passes --desktop), the working
// directory is the home folder or "/", no place for PROFILES and the logs: the
// program works in its per-user data folder instead, made on the first start.
// From a shell, the directory it was started in stays the program directory.
void EnterDesktopDataFolder() {
    const std::string dir = tovik::DesktopProgramDirectory(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
    std::error_code error;
    if (dir.empty() || (std::filesystem::create_directories(dir, error), error) || ::chdir(dir.c_str()) != 0)
        std::fprintf(stderr, "tovik-bot: Datenordner %s nicht nutzbar, bleibe im Arbeitsverzeichnis\n",
                     dir.empty() ? "(kein HOME)" : dir.c_str());
}

// Without a window: no display is needed, and an ending signal saves the
// log and ends the event loop.
int RunHeadless(int argc, char* argv[], const Options& options) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tovik-B0T"));
    tovik::Random random;
    tovik::HeadlessBot bot(random);
    tovik::ShutdownSignals endings;
    QObject::connect(&endings, &tovik::ShutdownSignals::Received, &bot, [&bot] {
        bot.End();
        QCoreApplication::exit(0);
    });
    if (!bot.Start(*options.profile, options.online)) {
        bot.End();
        return 1;
    }
    const int status = app.exec();
    bot.End();
    return status;
}

int RunWindow(int argc, char* argv[], const Options& options) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tovik-B0T"));

    // The interface is German; Qt's own texts ("Ja", "Nein", "Abbrechen" in
    // message boxes and the file chooser) come from Qt's translation.
    QTranslator qtTranslator;
    if (qtTranslator.load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                          QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(&qtTranslator);

    tovik::Random random;
    tovik::QtUserPrompts prompts;
    tovik::TMainForm mainForm(random, prompts);
    // Ended from outside, the log is saved once and the event loops end at
    // once, an open dialog's included; no window is asked to close, so no
    // question can hold the ending up.
    tovik::ShutdownSignals endings;
    QObject::connect(&endings, &tovik::ShutdownSignals::Received, &mainForm, [&mainForm] {
        mainForm.EndFromOutside();
        QCoreApplication::exit(0);
    });
    mainForm.show();
    if (options.profile && mainForm.LoadProfileAtStart(QFile::decodeName(options.profile->c_str())) &&
        options.online)
        mainForm.OnlineButtonClick();
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) return 2;
    if (options->help) {
        std::fputs(kHelp, stdout);
        return 0;
    }
    if (options->desktop) EnterDesktopDataFolder();
    return options->headless ? RunHeadless(argc, argv, *options) : RunWindow(argc, argv, *options);
}
