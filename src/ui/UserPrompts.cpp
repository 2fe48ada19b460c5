#include "ui/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tovik {

void QtUserPrompts::Error(const QString& title, const QString& text) {
    QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);  // error texts carry names and server text, never markup
    box.exec();
}

bool QtUserPrompts::Question(const QString& title, const QString& text, bool defaultYes) {
    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::Yes | QMessageBox::No);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(defaultYes ? QMessageBox::Yes : QMessageBox::No);
    box.setEscapeButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString QtUserPrompts::OpenFile(QWidget* parent, const QString& title, const QString& folder,
                                const QString& filters) {
    // The first filter is preselected, as the chooser's filter list starts with it.
    QString selected = filters.section(QStringLiteral(";;"), 0, 0);
    return QFileDialog::getOpenFileName(parent, title, folder, filters, &selected);
}

}  // namespace tovik
