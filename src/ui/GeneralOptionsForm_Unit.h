#pragma once
// General settings: the typing speed of the bot's replies.

#include <QDialog>

class QLineEdit;
class QPushButton;

namespace tovik {

class ErrorReporter;
class ProfileContext;

class TGeneralOptionsForm : public QDialog {
    Q_OBJECT
public:
    TGeneralOptionsForm(ProfileContext& context, ErrorReporter& reporter, QWidget* parent = nullptr);

    void FormShow();           // load the fields from the current profile
    void ApplyButtonClick();   // store them and close; stays open on a write error
    void CancelButtonClick();

    QLineEdit* CharTimeEdit = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* ApplyButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProfileContext& context_;
    ErrorReporter& reporter_;
};

}  // namespace tovik
