// Tovik-B0T: reads the command line, creates the one random generator and
// the main window (which creates its dialogs), and runs the event loop until
// the window closes or an ending signal comes; the bot without a window is
// tovik-botd, which takes this process's place. The exit status tells a
// service manager what happened.

#include <QApplication>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "app/ProgramOptions.h"
#include "app/ShutdownSignals.h"
#include "chat/Random.h"
#include "ui/MainForm_Unit.h"
#include "ui/UserPrompts.h"

namespace {

int RunWindow(int argc, char* argv[], const tovik::ProgramOptions& options) {
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
    if (options.profile && mainForm.LoadProfileAtStart(*options.profile) &&
        options.online)
        mainForm.OnlineButtonClick();
    const int status = app.exec();
    return status != 0 ? status : mainForm.Ending();
}

}  // namespace

int main(int argc, char* argv[]) {
    tovik::ProgramOptions options;
    if (const auto status = tovik::ReadCommandLine(argc, argv, options)) return *status;
    // Before any QApplication: the bot without a window runs as tovik-botd,
    // whose process maps no GUI library.
    if (options.headless) return tovik::RunHeadlessProgram(argv);
    if (options.desktop) tovik::EnterDesktopDataFolder();
    return RunWindow(argc, argv, options);
}
