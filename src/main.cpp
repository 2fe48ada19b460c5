// Tovik-B0T: creates the one random generator and the main window (which
// creates its dialogs) and runs the event loop until the window closes.

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include "chat/Random.h"
#include "ui/MainForm_Unit.h"
#include "ui/UserPrompts.h"

int main(int argc, char* argv[]) {
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
    mainForm.show();
    return app.exec();
}
