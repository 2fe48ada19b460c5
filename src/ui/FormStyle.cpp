#include "ui/FormStyle.h"

#include <QDialog>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tovik {

void ApplyFormFont(QWidget* window) {
    static const QFont font = [] {
        if (QFontDatabase::families().contains(QStringLiteral("Tahoma"))) return QFont(QStringLiteral("Tahoma"), 8);
        QFont f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        f.setFamilies({f.family(), QStringLiteral("sans-serif")});
        f.setStyleHint(QFont::SansSerif);
        f.setPointSize(8);
        return f;
    }();
    window->setFont(font);
}

void MakeFixedDialog(QDialog* dialog, const QString& caption, int clientWidth, int clientHeight) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint);
    dialog->setWindowTitle(caption);
    dialog->setModal(true);
    dialog->setFixedSize(clientWidth, clientHeight);
    ApplyFormFont(dialog);
}

QPushButton* MakeButton(QWidget* parent, const QString& text, const QString& objectName, QRect place) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(objectName);
    button->setAutoDefault(false);
    button->setDefault(false);
    button->setGeometry(place);
    return button;
}

QLabel* MakeLabel(QWidget* parent, const QString& text, QRect place) {
    auto* label = new QLabel(text, parent);
    label->setGeometry(place);
    return label;
}

QLineEdit* MakeEdit(QWidget* parent, const QString& objectName, QRect place, const QString& accessibleName) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    edit->setGeometry(place);
    edit->setAccessibleName(accessibleName);
    return edit;
}

}  // namespace tovik
