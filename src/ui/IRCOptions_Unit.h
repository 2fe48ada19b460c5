#pragma once
// IRC settings: server, port, command channel, the bot's nick and the
// account the server logs it in to.

#include <QDialog>
#include <QStringList>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace tovik {

class ErrorReporter;
class ProfileContext;

class TIRCOptionsForm : public QDialog {
    Q_OBJECT
public:
    TIRCOptionsForm(ProfileContext& context, ErrorReporter& reporter, QWidget* parent = nullptr);

    // The servers offered in the drop-down list, sorted.
    static QStringList KnownServers();

    void FormShow();
    void ApplyButtonClick();
    void CancelButtonClick();

    QComboBox* IRCServerComboBox = nullptr;
    QLineEdit* IRCPortEdit = nullptr;
    QLineEdit* ComChannelEdit = nullptr;
    QLineEdit* BotNickEdit = nullptr;
    QLineEdit* SASLAccountEdit = nullptr;
    QLineEdit* SASLPasswordEdit = nullptr;  // shown as dots
    QPushButton* CancelButton = nullptr;
    QPushButton* ApplyButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProfileContext& context_;
    ErrorReporter& reporter_;
};

}  // namespace tovik
