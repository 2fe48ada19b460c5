#include "ui/MainForm_Unit.h"

namespace tovik {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle(QStringLiteral("--] Tovik-B0T [--"));
}

}  // namespace tovik
