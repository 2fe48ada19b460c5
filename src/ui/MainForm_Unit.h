#pragma once
// The main window: the connection buttons, the log of everything the
// server sends, the operator console lines, the menu that opens the dialogs
// and the status bar naming the current profile. It owns the program-wide
// profile context, the running bot and every dialog; each handler is one
// call into them.

#include <QMainWindow>
#include <memory>

#include "app/ProgramOptions.h"
#include "bot/BotRuntime.h"
#include "profile/ProfileStore.h"
#include "ui/ErrorReporter.h"
#include "ui/ProfileForm_Unit.h"

class QAction;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;

namespace tovik {

class LogView;
class ProfileSession;
class Random;
class TGeneralOptionsForm;
class TInfoForm;
class TIRCOptionsForm;
class TPersonDataOptionsForm;
class UserPrompts;

class TMainForm : public QMainWindow, public ProfileHost {
    Q_OBJECT
public:
    // Creates the main window and then, in this order, the profile manager,
    // the general, persona and IRC settings and the info dialog.
    TMainForm(Random& random, UserPrompts& prompts, BotPorts ports = {}, QWidget* parent = nullptr);
    ~TMainForm() override;

    void FormCreate();
    // The operator's own close: saves the log; false when the operator chose
    // to keep the window open after the log could not be written.
    bool FormClose();
    // Saves the log as closing does, but asks nothing, since nobody may be
    // there to answer; a failure goes to the standard error output and the
    // journal stays for the next start. A log saved as it stands is not
    // written again.
    void SaveLogForShutdown();
    // The program is being ended from outside (a signal): the log is saved
    // quietly, and any close that follows asks nothing and saves nothing.
    void EndFromOutside();
    // --profile: loads the profile whose file's name without ".ini" is
    // `stem` (the operating system's bytes) as strictly as the bot without a
    // window does; false (after saying why) when it cannot be loaded.
    bool LoadProfileAtStart(const std::string& stem);
    // What the program ends with: kExitSaveFailed when the last ending save
    // failed (the journal then stays for the next start).
    ExitStatus Ending() const;

    void Profil1Click();
    void Beenden1Click();
    void QuitButtonClick();
    void Allgemein1Click();
    void IRC1Click();
    void Personendaten1Click();
    void Info1Click();
    void OnlineButtonClick();
    void OfflineButtonClick();
    void SendEditKeyPress();
    void ServerSendEditKeyPress();

    // ProfileHost
    void SetProfileStatus(const QString& text) override;
    void SetProfileControlsEnabled(bool enabled) override;

    QString StatusText() const;
    ProfileContext& Context() { return context_; }
    ProfileSession& Session() { return *session_; }
    BotRuntime& Runtime() { return *runtime_; }
    ErrorReporter& Reporter() { return reporter_; }

    TProfileForm* ProfileForm() const { return profileForm_; }
    TGeneralOptionsForm* GeneralOptionsForm() const { return generalForm_; }
    TPersonDataOptionsForm* PersonDataOptionsForm() const { return personForm_; }
    TIRCOptionsForm* IRCOptionsForm() const { return ircForm_; }
    TInfoForm* InfoForm() const { return infoForm_; }

    QFrame* Panel1 = nullptr;
    QPushButton* OnlineButton = nullptr;
    QPushButton* OfflineButton = nullptr;
    QPushButton* QuitButton = nullptr;
    LogView* LogMemo = nullptr;
    QLineEdit* SendEdit = nullptr;
    QLineEdit* ServerSendEdit = nullptr;
    QListWidget* ListBox1 = nullptr;
    QListWidget* DenyListBox = nullptr;
    QLabel* StatusPanel = nullptr;
    QLabel* ConnectionPanel = nullptr;  // where the connection stands
    QMenu* Programm1 = nullptr;
    QAction* Profil1 = nullptr;
    QAction* Beenden1 = nullptr;
    QMenu* Einstellungen1 = nullptr;
    QAction* Allgemein1 = nullptr;
    QAction* IRC1 = nullptr;
    QAction* Personendaten1 = nullptr;
    QAction* Info1 = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildControls();
    void BuildMenu();
    void DenyListChanged(const std::vector<std::string>& nicks);
    void ConnectionStateChanged(BotState state, qint64 nextAttempt);
    void UpdateButtons();

    bool profileLoaded_ = false;
    bool ended_ = false;            // ended from outside; nothing more to save
    bool operatorClosing_ = false;  // "&Beenden" is closing the window
    QString account_;  // the account this connection is logged in to, if any
    quint16 stsPort_ = 0;  // the TLS port a server's STS policy took this connection to

    UserPrompts& prompts_;
    ProfileContext context_;
    ErrorReporter reporter_;
    std::unique_ptr<BotRuntime> runtime_;
    // After the runtime, so that it goes first: its end leaves the journal
    // and lets go of the profile while the log view still exists.
    std::unique_ptr<ProfileSession> session_;

    TProfileForm* profileForm_ = nullptr;
    TGeneralOptionsForm* generalForm_ = nullptr;
    TPersonDataOptionsForm* personForm_ = nullptr;
    TIRCOptionsForm* ircForm_ = nullptr;
    TInfoForm* infoForm_ = nullptr;
};

}  // namespace tovik
