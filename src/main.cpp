// Tovik-B0T: creates the one random generator and the main window (which
// creates its dialogs) and runs the event loop until the window closes.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QSessionManager>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "ui/MainForm_Unit.h"
#include "ui/ShutdownSignals.h"
#include "ui/UserPrompts.h"

namespace {

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

}  // namespace

int main(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i)
        if (std::strcmp(argv[i], "--desktop") == 0) EnterDesktopDataFolder();
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
    // Ended from outside, the log is saved as closing the window saves it.
    tovik::ShutdownSignals endings;
    QObject::connect(&endings, &tovik::ShutdownSignals::Received, &mainForm, [&mainForm] {
        mainForm.SaveLogForShutdown();
        QApplication::quit();
    });
    QObject::connect(&app, &QGuiApplication::commitDataRequest, &mainForm,
                     [&mainForm](QSessionManager&) { mainForm.SaveLogForShutdown(); });
    mainForm.show();
    return app.exec();
}
