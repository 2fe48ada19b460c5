#pragma once
// IRC settings: server, port, command channel, the bot's nick, the
// account the server logs it in to, and how partners reach the bot for its
// photo (the address and port its DCC offers name, the router's forward).

#include <QDialog>
#include <QStringList>

class QCheckBox;
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
    QLineEdit* OwnAddressEdit = nullptr;
    QLineEdit* DCCPortEdit = nullptr;
    QCheckBox* MapPortCheckBox = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* ApplyButton = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    ProfileContext& context_;
    ErrorReporter& reporter_;
    // The [DCC] fields as shown: only a field the operator changed is
    // written, so that a profile that never used them stays as it was.
    QString shownOwnAddress_, shownPort_;
    bool shownMapPort_ = false;
};

}  // namespace tovik
