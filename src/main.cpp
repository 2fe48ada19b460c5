#include <QApplication>

#include "ui/MainForm_Unit.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    tovik::TMainForm mainForm;
    mainForm.show();
    return app.exec();
}
