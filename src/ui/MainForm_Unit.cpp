#include "ui/MainForm_Unit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTime>

#include "app/HeadlessBot.h"
#include "app/ProfileSession.h"
#include "bot/channel/Credits.h"
#include "text/Cp1252.h"
#include "ui/FormStyle.h"
#include "ui/GeneralOptionsForm_Unit.h"
#include "ui/IRCOptions_Unit.h"
#include "ui/InfoForm_Unit.h"
#include "ui/LogView.h"
#include "ui/PersonalDataOptionsForm_Unit.h"
#include "ui/TextConvert.h"
#include "ui/UserPrompts.h"

namespace tovik {
namespace {

constexpr int kClientWidth = 434;
constexpr int kClientHeight = 557;  // below the menu bar, status bar included
constexpr int kStatusHeight = 19;

}  // namespace

TMainForm::TMainForm(Random& random, UserPrompts& prompts, BotPorts ports, QWidget* parent)
    : QMainWindow(parent), prompts_(prompts), reporter_(prompts) {
    setObjectName(QStringLiteral("MainForm"));
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("--] Tovik-B0T [-- ") + ToQt(kCreditNotice));
    ApplyFormFont(this);

    runtime_ = std::make_unique<BotRuntime>(context_, random, ports);
    BuildControls();
    BuildMenu();
    session_ = std::make_unique<ProfileSession>(context_, LogMemo->Book());
    session_->SetTeller([this](const std::string& text) { reporter_.Report(text); });
    setFixedSize(kClientWidth, menuBar()->sizeHint().height() + kClientHeight);
    move(192, 111);

    // The runtime reports from inside its socket handlers; the box comes up
    // once that handler has returned, as an error ends its handler first.
    connect(runtime_.get(), &BotRuntime::ErrorOccurred, this, [this](const std::string& text) {
        QMetaObject::invokeMethod(this, [this, text] { reporter_.Report(text); }, Qt::QueuedConnection);
    });
    connect(runtime_.get(), &BotRuntime::LineReceived, this,
            [this](const std::string& line) { LogMemo->AppendLine(line); });
    // A journal that cannot be written is said once, like any failure.
    connect(&LogMemo->Book(), &LogBook::JournalFailed, this, [this](const std::string& text) {
        QMetaObject::invokeMethod(this, [this, text] { reporter_.Report(text); }, Qt::QueuedConnection);
    });
    // Logging out: the session asks each program to save what it holds.
    // Nobody answers questions then; the log is saved quietly.
    if (qGuiApp != nullptr)
        connect(qGuiApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager&) { SaveLogForShutdown(); });
    connect(runtime_.get(), &BotRuntime::DenyListChanged, this, &TMainForm::DenyListChanged);
    connect(runtime_.get(), &BotRuntime::StateChanged, this, &TMainForm::ConnectionStateChanged);
    connect(runtime_.get(), &BotRuntime::LoggedIn, this, [this](const std::string& account) {
        account_ = ToQt(account);
        ConnectionStateChanged(runtime_->State(), 0);
    });
    connect(runtime_.get(), &BotRuntime::SecuredBySts, this, [this](quint16 port) {
        stsPort_ = port;
        ConnectionStateChanged(runtime_->State(), 0);
    });

    FormCreate();

    profileForm_ = new TProfileForm(*session_, *this, prompts_, reporter_, this);
    generalForm_ = new TGeneralOptionsForm(context_, reporter_, this);
    personForm_ = new TPersonDataOptionsForm(context_, random, prompts_, reporter_, this);
    ircForm_ = new TIRCOptionsForm(context_, reporter_, this);
    infoForm_ = new TInfoForm(this);
}

TMainForm::~TMainForm() = default;

void TMainForm::BuildControls() {
    auto* client = new QWidget(this);
    client->setFixedSize(kClientWidth, kClientHeight - kStatusHeight);
    setCentralWidget(client);

    Panel1 = new QFrame(client);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setGeometry(0, 0, 433, 57);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    OnlineButton = MakeButton(Panel1, QStringLiteral("&Online"), QStringLiteral("OnlineButton"), {16, 16, 75, 21});
    OfflineButton = MakeButton(Panel1, QStringLiteral("&Offline"), QStringLiteral("OfflineButton"), {104, 16, 75, 21});
    QuitButton = MakeButton(Panel1, QStringLiteral("&Beenden"), QStringLiteral("QuitButton"), {344, 16, 75, 21});
    OnlineButton->setEnabled(false);
    OfflineButton->setEnabled(false);

    LogMemo = new LogView(client);
    LogMemo->setObjectName(QStringLiteral("LogMemo"));
    LogMemo->setGeometry(0, 64, 433, 257);
    LogMemo->setAccessibleName(QStringLiteral("Log"));

    SendEdit = MakeEdit(client, QStringLiteral("SendEdit"), {0, 320, 433, 21}, QStringLiteral("Konsole"));
    ServerSendEdit =
        MakeEdit(client, QStringLiteral("ServerSendEdit"), {0, 344, 433, 21}, QStringLiteral("Server-Befehl"));

    ListBox1 = new QListWidget(client);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(0, 368, 433, 169);
    ListBox1->setAccessibleName(QStringLiteral("Liste"));

    DenyListBox = new QListWidget(client);
    DenyListBox->setObjectName(QStringLiteral("DenyListBox"));
    DenyListBox->setGeometry(312, 248, 121, 97);
    DenyListBox->setAccessibleName(QStringLiteral("Sperrliste"));
    DenyListBox->setVisible(false);

    StatusPanel = new QLabel(this);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setTextFormat(Qt::PlainText);  // a profile named "<b>x</b>" is shown as typed
    statusBar()->setObjectName(QStringLiteral("StatusBar1"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->setFixedHeight(kStatusHeight);
    statusBar()->addWidget(StatusPanel, 1);
    ConnectionPanel = new QLabel(QStringLiteral("Offline"), this);
    ConnectionPanel->setObjectName(QStringLiteral("ConnectionPanel"));
    ConnectionPanel->setTextFormat(Qt::PlainText);
    ConnectionPanel->setAccessibleName(QStringLiteral("Verbindung"));
    statusBar()->addPermanentWidget(ConnectionPanel);

    setTabOrder(OnlineButton, OfflineButton);
    setTabOrder(OfflineButton, QuitButton);
    setTabOrder(QuitButton, LogMemo);
    setTabOrder(LogMemo, SendEdit);
    setTabOrder(SendEdit, ServerSendEdit);
    setTabOrder(ServerSendEdit, ListBox1);

    connect(OnlineButton, &QPushButton::clicked, this, &TMainForm::OnlineButtonClick);
    connect(OfflineButton, &QPushButton::clicked, this, &TMainForm::OfflineButtonClick);
    connect(QuitButton, &QPushButton::clicked, this, &TMainForm::QuitButtonClick);
    connect(SendEdit, &QLineEdit::returnPressed, this, &TMainForm::SendEditKeyPress);
    connect(ServerSendEdit, &QLineEdit::returnPressed, this, &TMainForm::ServerSendEditKeyPress);
}

void TMainForm::BuildMenu() {
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    bar->setNativeMenuBar(false);

    Programm1 = bar->addMenu(QStringLiteral("&Programm"));
    Programm1->setObjectName(QStringLiteral("Programm1"));
    Profil1 = Programm1->addAction(QStringLiteral("&Profil"));
    Profil1->setObjectName(QStringLiteral("Profil1"));
    Beenden1 = Programm1->addAction(QStringLiteral("&Beenden"));
    Beenden1->setObjectName(QStringLiteral("Beenden1"));

    Einstellungen1 = bar->addMenu(QStringLiteral("&Einstellungen"));
    Einstellungen1->setObjectName(QStringLiteral("Einstellungen1"));
    Allgemein1 = Einstellungen1->addAction(QStringLiteral("&Allgemein"));
    Allgemein1->setObjectName(QStringLiteral("Allgemein1"));
    IRC1 = Einstellungen1->addAction(QStringLiteral("&IRC"));
    IRC1->setObjectName(QStringLiteral("IRC1"));
    Personendaten1 = Einstellungen1->addAction(QStringLiteral("&Personendaten"));
    Personendaten1->setObjectName(QStringLiteral("Personendaten1"));
    Einstellungen1->menuAction()->setEnabled(false);

    Info1 = bar->addAction(QStringLiteral("&Info"));
    Info1->setObjectName(QStringLiteral("Info1"));

    connect(Profil1, &QAction::triggered, this, &TMainForm::Profil1Click);
    connect(Beenden1, &QAction::triggered, this, &TMainForm::Beenden1Click);
    connect(Allgemein1, &QAction::triggered, this, &TMainForm::Allgemein1Click);
    connect(IRC1, &QAction::triggered, this, &TMainForm::IRC1Click);
    connect(Personendaten1, &QAction::triggered, this, &TMainForm::Personendaten1Click);
    connect(Info1, &QAction::triggered, this, &TMainForm::Info1Click);
}

void TMainForm::FormCreate() {
    context_.SetProgramDirectoryFromCwd();
    context_.SetCurrentProfile({});
    SetProfileStatus(QStringLiteral("Profil: [kein Profil geladen ...]"));
}

void TMainForm::closeEvent(QCloseEvent* event) {
    // Only a close the operator made (the close box, "&Beenden") may ask
    // whether to go without the log; one that comes from the session or
    // follows an ending from outside saves quietly, so it can never hang.
    const bool byOperator =
        !ended_ && !(qGuiApp != nullptr && qGuiApp->isSavingSession()) && (event->spontaneous() || operatorClosing_);
    if (!byOperator) {
        if (!ended_) SaveLogForShutdown();
        event->accept();
        return;
    }
    if (FormClose()) {
        event->accept();
    } else {
        event->ignore();
    }
}

bool TMainForm::FormClose() {
    // With no profile nothing is saved, and the journal goes too: the next
    // start finds what a normal end leaves.
    if (session_->Loaded() && LogMemo->SavedAsShown()) return true;
    if (reporter_.Guard([&] { session_->SaveLog([&](const std::string& log) { LogMemo->SaveTo(log); }); }))
        return true;
    // The log lives only in this window: closing now would lose it.
    return prompts_.Question(QStringLiteral("Tovik-B0T"),
                             QStringLiteral("Das Log wurde nicht gespeichert. Trotzdem beenden?"), false);
}

void TMainForm::SaveLogForShutdown() {
    if (session_->Loaded() && LogMemo->SavedAsShown()) return;
    try {
        session_->SaveLog([&](const std::string& log) { LogMemo->SaveTo(log); });
    } catch (const std::exception& error) {
        TellOnStandardError(error.what());
    }
}

ExitStatus TMainForm::Ending() const { return session_->EndingFailed() ? kExitSaveFailed : kExitOk; }

void TMainForm::EndFromOutside() {
    if (ended_) return;
    ended_ = true;
    SaveLogForShutdown();
}

bool TMainForm::LoadProfileAtStart(const std::string& stem) { return profileForm_->LoadAtStart(stem); }

void TMainForm::Profil1Click() { profileForm_->exec(); }

void TMainForm::Beenden1Click() {
    operatorClosing_ = true;
    close();
    operatorClosing_ = false;
}

void TMainForm::QuitButtonClick() { Beenden1Click(); }
void TMainForm::Allgemein1Click() { generalForm_->exec(); }
void TMainForm::IRC1Click() { ircForm_->exec(); }
void TMainForm::Personendaten1Click() { personForm_->exec(); }
void TMainForm::Info1Click() { infoForm_->exec(); }

void TMainForm::OnlineButtonClick() {
    reporter_.Guard([&] { runtime_->OnlineButtonClick(); });
    UpdateButtons();
}

void TMainForm::OfflineButtonClick() {
    reporter_.Guard([&] { runtime_->OfflineButtonClick(); });
    UpdateButtons();
}

// The buttons follow where the connection really stands: "&Offline" also
// stops a bot that waits for its next attempt.
void TMainForm::UpdateButtons() {
    const bool offline = runtime_->State() == BotState::Offline;
    OnlineButton->setEnabled(profileLoaded_ && offline);
    OfflineButton->setEnabled(!offline);
}

void TMainForm::ConnectionStateChanged(BotState state, qint64 nextAttempt) {
    // Each connection logs in anew; the account shows once the server said
    // so, and so does a server's policy that took the bot to TLS.
    if (state == BotState::Offline || state == BotState::Waiting) {
        account_.clear();
        stsPort_ = 0;
    }
    QStringList notes;
    if (!account_.isEmpty()) notes << QStringLiteral("Konto %1").arg(account_);
    if (stsPort_ != 0) notes << QStringLiteral("STS: TLS auf Port %1").arg(stsPort_);
    const QString details = notes.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(notes.join(QStringLiteral("; ")));
    switch (state) {
    case BotState::Offline:
        ConnectionPanel->setText(QStringLiteral("Offline"));
        break;
    case BotState::Connecting:
        ConnectionPanel->setText(QStringLiteral("Verbinde ...") + details);
        break;
    case BotState::Online:
        ConnectionPanel->setText(QStringLiteral("Online") + details);
        break;
    case BotState::Waiting: {
        const QString at = QTime::currentTime().addMSecs(static_cast<int>(nextAttempt)).toString(QStringLiteral("HH:mm:ss"));
        ConnectionPanel->setText(QStringLiteral("Getrennt, n\u00e4chster Versuch um %1").arg(at));
        break;
    }
    }
    UpdateButtons();
}

void TMainForm::SendEditKeyPress() {
    reporter_.Guard([&] { runtime_->SendEditKeyPress(FromQt(SendEdit->text())); });
    SendEdit->clear();
}

void TMainForm::ServerSendEditKeyPress() {
    reporter_.Guard([&] { runtime_->ServerSendEditKeyPress(FromQt(ServerSendEdit->text())); });
    ServerSendEdit->clear();
}

void TMainForm::SetProfileStatus(const QString& text) { StatusPanel->setText(text); }

QString TMainForm::StatusText() const { return StatusPanel->text(); }

void TMainForm::SetProfileControlsEnabled(bool enabled) {
    Einstellungen1->menuAction()->setEnabled(enabled);
    profileLoaded_ = enabled;
    UpdateButtons();
}

void TMainForm::DenyListChanged(const std::vector<std::string>& nicks) {
    DenyListBox->clear();
    for (const std::string& nick : nicks) DenyListBox->addItem(ToQt(nick));
}

}  // namespace tovik
