#pragma once
// The look shared by all windows: fixed frames, absolute control places, the
// small dialog font, and the few kinds of controls they are built from.

#include <QRect>
#include <QString>

class QDialog;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

namespace tovik {

// Tahoma 8 pt where it is installed, else the system's sans-serif at 8 pt.
void ApplyFormFont(QWidget* window);

// A dialog frame with only the close box, fixed to the given client size.
void MakeFixedDialog(QDialog* dialog, const QString& caption, int clientWidth, int clientHeight);

// A push button that Enter presses only while it has the focus: none of the
// windows has a default button.
QPushButton* MakeButton(QWidget* parent, const QString& text, const QString& objectName, QRect place);
QLabel* MakeLabel(QWidget* parent, const QString& text, QRect place);
QLineEdit* MakeEdit(QWidget* parent, const QString& objectName, QRect place, const QString& accessibleName);

}  // namespace tovik
