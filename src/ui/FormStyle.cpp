#include "ui/FormStyle.h"

#include <QDialog>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace tovik {
namespace {

// Enter presses the button that has the focus, as it does in every Windows
// dialog. Qt only does that for "auto default" buttons, which would also
// make the first of them the default button that Enter presses from any
// field: the windows have no default button, so that is not wanted.
class EnterPressesFocusedButton : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter) || mods != Qt::NoModifier) return false;
        auto* button = static_cast<QPushButton*>(watched);
        if (!button->isEnabled()) return false;
        button->click();
        return true;
    }
};

}  // namespace

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
    button->installEventFilter(new EnterPressesFocusedButton(button));
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
