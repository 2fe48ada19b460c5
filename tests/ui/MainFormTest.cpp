// The main window: its controls and their states, the log file written at
// closing, the operator console through a loopback IRC server, and the whole
// operator flow from creating a profile to quitting.

#include "ui/MainForm_Unit.h"

#include <gtest/gtest.h>

#include <QTime>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSessionManager>
#include <QStatusBar>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextBlock>
#include <QTextDocument>
#include <QTest>
#include <QTimer>
#include <csignal>
#include <unistd.h>
#include <vector>
#include <memory>

#include "TestSupport.h"
#include "UiTestSupport.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "ui/GeneralOptionsForm_Unit.h"
#include "ui/IRCOptions_Unit.h"
#include "ui/InfoForm_Unit.h"
#include "ui/PersonalDataOptionsForm_Unit.h"
#include "ui/LogView.h"
#include "ui/ProfileForm_Unit.h"
#include "app/ShutdownSignals.h"

namespace tovik {
namespace {

using test::Escaped;
using test::ReadFileBytes;
using test::WaitUntil;
using test::WriteFileBytes;

// A one-client IRC server on loopback that records every byte it receives.
class FakeIrcServer {
public:
    FakeIrcServer() {
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost, 0));
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            client_ = server_.nextPendingConnection();
            QObject::connect(client_, &QTcpSocket::readyRead, [this] { received += client_->readAll().toStdString(); });
        });
    }
    quint16 Port() const { return server_.serverPort(); }
    bool WaitForClient() { return WaitUntil([&] { return client_ != nullptr; }); }
    bool WaitForText(const std::string& text) {
        return WaitUntil([&] { return received.find(text) != std::string::npos; });
    }
    void Send(const std::string& bytes) {
        client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        client_->flush();
    }
    void CloseClient() { client_->disconnectFromHost(); }
    bool ClientGone() {
        return WaitUntil([&] { return client_ && client_->state() == QAbstractSocket::UnconnectedState; });
    }

    std::string received;

private:
    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
};

class MainFormTest : public ::testing::Test {
protected:
    MainFormTest() {
        // The window takes the working directory as program directory.
        QDir::setCurrent(QString::fromStdString(dir.Path()));
        form = std::make_unique<TMainForm>(random, prompts, BotPorts{0, 0});
    }
    ~MainFormTest() override { form.reset(); }

    // Loads or creates a profile through the profile manager, as the operator does.
    void CreateProfile(const QString& name) {
        TProfileForm* manager = form->ProfileForm();
        manager->FormShow();
        manager->ProfileEdit->setText(name);
        manager->CreateButtonClick();
    }
    void PointAt(const FakeIrcServer& server) {
        ProfileFile profile(form->Context().ProfilePath());
        profile.WriteValue("IRC", "Server", "127.0.0.1");
        profile.WriteValue("IRC", "Port", std::to_string(server.Port()));
        profile.WriteValue("General", "CharTime", "1");
    }
    bool SettingsEnabled() const { return form->Einstellungen1->menuAction()->isEnabled(); }

    test::ScratchDir dir;
    test::RecordingPrompts prompts;
    Random random{[] { return 1234u; }};
    std::unique_ptr<TMainForm> form;
};

TEST_F(MainFormTest, StartsAsDesigned) {
    EXPECT_EQ(form->windowTitle(), QStringLiteral("--] Tovik-B0T [-- (c) 2026 Tovik-Team"));
    EXPECT_EQ(form->width(), 434);
    EXPECT_EQ(form->height(), form->menuBar()->sizeHint().height() + 557);
    EXPECT_EQ(form->minimumSize(), form->maximumSize());
    EXPECT_EQ(form->pos(), QPoint(192, 111));
    EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);

    EXPECT_EQ(form->OnlineButton->text(), QStringLiteral("&Online"));
    EXPECT_EQ(form->OfflineButton->text(), QStringLiteral("&Offline"));
    EXPECT_EQ(form->QuitButton->text(), QStringLiteral("&Beenden"));
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(form->OfflineButton->isEnabled());
    EXPECT_TRUE(form->QuitButton->isEnabled());
    EXPECT_EQ(form->OnlineButton->geometry(), QRect(16, 16, 75, 21));
    EXPECT_EQ(form->QuitButton->geometry(), QRect(344, 16, 75, 21));
    EXPECT_EQ(form->LogMemo->geometry(), QRect(0, 64, 433, 257));
    EXPECT_EQ(form->SendEdit->geometry(), QRect(0, 320, 433, 21));
    EXPECT_EQ(form->ServerSendEdit->geometry(), QRect(0, 344, 433, 21));
    EXPECT_EQ(form->ListBox1->geometry(), QRect(0, 368, 433, 169));
    EXPECT_EQ(form->ListBox1->count(), 0);
    EXPECT_EQ(form->DenyListBox->geometry(), QRect(312, 248, 121, 97));
    EXPECT_FALSE(form->DenyListBox->isVisibleTo(form.get()));
    EXPECT_EQ(form->LogMemo->toPlainText(), QString());
    EXPECT_FALSE(form->LogMemo->isReadOnly());
    EXPECT_EQ(form->LogMemo->accessibleName(), QStringLiteral("Log"));
    EXPECT_EQ(form->SendEdit->accessibleName(), QStringLiteral("Konsole"));
    EXPECT_EQ(form->ServerSendEdit->accessibleName(), QStringLiteral("Server-Befehl"));
    EXPECT_EQ(form->statusBar()->height(), 19);

    EXPECT_EQ(form->Programm1->title(), QStringLiteral("&Programm"));
    EXPECT_EQ(form->Profil1->text(), QStringLiteral("&Profil"));
    EXPECT_EQ(form->Beenden1->text(), QStringLiteral("&Beenden"));
    EXPECT_EQ(form->Einstellungen1->title(), QStringLiteral("&Einstellungen"));
    EXPECT_EQ(form->Allgemein1->text(), QStringLiteral("&Allgemein"));
    EXPECT_EQ(form->IRC1->text(), QStringLiteral("&IRC"));
    EXPECT_EQ(form->Personendaten1->text(), QStringLiteral("&Personendaten"));
    EXPECT_EQ(form->Info1->text(), QStringLiteral("&Info"));
    EXPECT_FALSE(SettingsEnabled());
    EXPECT_TRUE(form->Info1->isEnabled());
    EXPECT_TRUE(form->Profil1->isEnabled());

    EXPECT_EQ(form->StatusText(), QStringLiteral("Profil: [kein Profil geladen ...]"));
    EXPECT_EQ(form->Context().ProgramDirectory(), dir.Path());
    EXPECT_EQ(form->Context().CurrentProfile(), "");
    for (const char* name : {"Panel1", "OnlineButton", "OfflineButton", "QuitButton", "LogMemo", "SendEdit",
                             "ServerSendEdit", "ListBox1", "DenyListBox", "StatusBar1", "MainMenu1"})
        EXPECT_NE(form->findChild<QWidget*>(QString::fromLatin1(name)), nullptr) << name;
}

TEST_F(MainFormTest, DialogsAreCreatedOnceInOrder) {
    const QObjectList children = form->children();
    QStringList dialogs;
    for (QObject* child : children)
        if (qobject_cast<QDialog*>(child)) dialogs << child->objectName();
    EXPECT_EQ(dialogs, (QStringList{QStringLiteral("ProfileForm"), QStringLiteral("GeneralOptionsForm"),
                                    QStringLiteral("PersonDataOptionsForm"), QStringLiteral("IRCOptionsForm"),
                                    QStringLiteral("InfoForm")}));
    for (QDialog* d : form->findChildren<QDialog*>()) EXPECT_FALSE(d->isVisible());
}

TEST_F(MainFormTest, MenuEntriesOpenTheirDialogsModallyAndShowingLoadsThem) {
    CreateProfile(QStringLiteral("anna"));
    ProfileFile(form->Context().ProfilePath()).WriteValue("General", "CharTime", "42");
    struct Row {
        QAction* action;
        QDialog* dialog;
    };
    const Row rows[] = {{form->Profil1, form->ProfileForm()},
                        {form->Allgemein1, form->GeneralOptionsForm()},
                        {form->IRC1, form->IRCOptionsForm()},
                        {form->Personendaten1, form->PersonDataOptionsForm()},
                        {form->Info1, form->InfoForm()}};
    for (const Row& row : rows) {
        // Whatever comes up modally is closed again at once, so nothing waits.
        QWidget* seen = nullptr;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                seen = modal;
                modal->reject();
            }
        });
        closer.start(5);
        row.action->trigger();
        EXPECT_EQ(seen, row.dialog) << row.action->objectName().toStdString();
        EXPECT_FALSE(row.dialog->isVisible());
    }
    EXPECT_EQ(form->GeneralOptionsForm()->CharTimeEdit->text(), QStringLiteral("42"));
    EXPECT_EQ(form->InfoForm()->VersionLabel->text(), QStringLiteral("Version: 0.10 BETA"));
    EXPECT_TRUE(form->OnlineButton->isEnabled()) << "the profile manager's closing rule ran";
}

TEST_F(MainFormTest, StateTableOfProfileManagerAndConnectionButtons) {
    FakeIrcServer server;
    // Closed without a profile: nothing unlocks.
    form->ProfileForm()->FormShow();
    form->ProfileForm()->CancelButtonClick();
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(SettingsEnabled());
    EXPECT_EQ(form->StatusText(), QStringLiteral("Profil: [kein Profil geladen ...]"));

    CreateProfile(QStringLiteral("anna"));
    EXPECT_TRUE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(form->OfflineButton->isEnabled());
    EXPECT_TRUE(SettingsEnabled());
    EXPECT_EQ(form->StatusText(), QStringLiteral("Profil: anna"));
    EXPECT_EQ(form->StatusPanel->textFormat(), Qt::PlainText) << "a name like <b>x</b> shows as typed";

    PointAt(server);
    form->OnlineButtonClick();
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_TRUE(form->OfflineButton->isEnabled());
    EXPECT_TRUE(SettingsEnabled());

    // The buttons follow the connection: the manager does not unlock
    // "&Online" while the bot is online.
    form->ProfileForm()->FormShow();
    form->ProfileForm()->CancelButtonClick();
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_TRUE(form->OfflineButton->isEnabled());

    form->OfflineButtonClick();
    EXPECT_TRUE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(form->OfflineButton->isEnabled());

    // Deleting any profile unloads; closing the manager then locks again.
    form->ProfileForm()->FormShow();
    form->ProfileForm()->ProfileEdit->setText(QStringLiteral("anna"));
    form->ProfileForm()->DeleteButtonClick();
    EXPECT_EQ(form->StatusText(), QStringLiteral("Profil: [kein Profil geladen ...]"));
    EXPECT_TRUE(form->OnlineButton->isEnabled()) << "changes only when the manager closes";
    form->ProfileForm()->CancelButtonClick();
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(SettingsEnabled());
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(MainFormTest, AFailedOnlineLeavesTheButtonsAndReportsTheError) {
    CreateProfile(QStringLiteral("anna"));
    ProfileFile(form->Context().ProfilePath()).WriteValue("IRC", "Port", "sechs");
    form->OnlineButtonClick();
    EXPECT_TRUE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(form->OfflineButton->isEnabled());
    ASSERT_TRUE(WaitUntil([&] { return !prompts.Errors().empty(); }));
    EXPECT_EQ(prompts.Errors()[0], QStringLiteral("'sechs' ist kein gültiger Integerwert"));
}

TEST_F(MainFormTest, ALostConnectionShowsWhenTheNextAttemptComesAndOfflineStopsIt) {
    FakeIrcServer server;
    CreateProfile(QStringLiteral("anna"));
    PointAt(server);
    form->OnlineButtonClick();
    ASSERT_TRUE(server.WaitForClient());
    server.Send(":srv 001 Tovik-B0T :Willkommen\r\n");
    ASSERT_TRUE(WaitUntil([&] { return form->ConnectionPanel->text() == QStringLiteral("Online"); }));
    // As the runtime says when the server has logged the bot in.
    emit form->Runtime().LoggedIn("J\xF6rg");
    EXPECT_EQ(form->ConnectionPanel->text(), QStringLiteral("Online (Konto J\u00f6rg)"));
    emit form->Runtime().SecuredBySts(6697);
    EXPECT_EQ(form->ConnectionPanel->text(), QStringLiteral("Online (Konto J\u00f6rg; STS: TLS auf Port 6697)"));
    server.CloseClient();
    ASSERT_TRUE(WaitUntil([&] { return form->ConnectionPanel->text().startsWith(QStringLiteral("Getrennt")); }));
    // After a welcome the first attempt comes within a few seconds.
    const QString at = form->ConnectionPanel->text().section(QLatin1Char(' '), -1);
    const int wait = QTime::currentTime().secsTo(QTime::fromString(at, QStringLiteral("HH:mm:ss")));
    EXPECT_TRUE(wait >= 0 && wait <= 4) << wait << " " << form->ConnectionPanel->text().toStdString();
    EXPECT_EQ(form->ConnectionPanel->text().left(30), QStringLiteral("Getrennt, n\u00e4chster Versuch um "));
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_TRUE(form->OfflineButton->isEnabled()) << "the wait can be ended";
    form->OfflineButtonClick();
    EXPECT_EQ(form->ConnectionPanel->text(), QStringLiteral("Offline"));
    EXPECT_TRUE(form->OnlineButton->isEnabled());
    EXPECT_FALSE(form->OfflineButton->isEnabled());
    EXPECT_TRUE(prompts.Errors().empty());
}

TEST_F(MainFormTest, ClosingWithoutAProfileWritesNoFile) {
    dir.MakeProfilesDir();
    form->LogMemo->AppendLine("something");
    EXPECT_TRUE(form->FormClose());
    EXPECT_TRUE(QDir(QString::fromStdString(dir.Profiles())).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(MainFormTest, ClosingWritesTheLogInWindows1252WithCrLfReplacingTheOldOne) {
    CreateProfile(QStringLiteral("anna"));
    WriteFileBytes(dir.Profiles() + "/anna.log", "old run\r\nold run\r\nold run\r\n");
    EXPECT_EQ(form->LogMemo->toPlainText(), QString()) << "the old log is never read";
    form->LogMemo->AppendLine(":irc.test 001 TovikBot :Willkommen");
    form->LogMemo->AppendLine(":Anna!a@h PRIVMSG TovikBot :Gr\xFC\xDF" "e aus K\xF6ln");
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(Escaped(ReadFileBytes(dir.Profiles() + "/anna.log")),
              Escaped(":irc.test 001 TovikBot :Willkommen\r\n:Anna!a@h PRIVMSG TovikBot :Gr\xFC\xDF" "e aus K\xF6ln\r\n"));
    EXPECT_TRUE(prompts.records.empty());
}

// A run that ends without closing (killed, a crash, the power gone) leaves
// its lines beside the profile; the next start with that profile folds them
// into the log, and a normal end leaves nothing but the log.
TEST_F(MainFormTest, ARunEndedWithoutClosingLeavesItsLinesForTheNextStartWithThatProfile) {
    CreateProfile(QStringLiteral("anna"));
    WriteFileBytes(dir.Profiles() + "/anna.log", "vorher\r\n");
    form->LogMemo->AppendLine(":irc.test 001 anna :Willkommen");
    form->LogMemo->AppendLine("M\xFCnchen");
    form->LogMemo->SyncJournal();
    const std::string parked = dir.Profiles() + "/anna.log.parked";
    EXPECT_EQ(Escaped(ReadFileBytes(parked)), Escaped(":irc.test 001 anna :Willkommen\r\nM\xFCnchen\r\n"));
    form.reset();  // no close: the window's end is not seen

    form = std::make_unique<TMainForm>(random, prompts, BotPorts{0, 0});
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/anna.log"), "vorher\r\n") << "only the profile's loading folds";
    TProfileForm* manager = form->ProfileForm();
    manager->FormShow();
    manager->ProfileEdit->setText(QStringLiteral("anna"));
    manager->LoadButtonClick();
    EXPECT_EQ(Escaped(ReadFileBytes(dir.Profiles() + "/anna.log")),
              Escaped("vorher\r\n:irc.test 001 anna :Willkommen\r\nM\xFCnchen\r\n"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(parked)));

    form->LogMemo->AppendLine("heute");
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/anna.log"), "heute\r\n");
    EXPECT_EQ(QDir(QString::fromStdString(dir.Profiles())).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("anna.ini"), QStringLiteral("anna.lock"), QStringLiteral("anna.log")}));
    EXPECT_TRUE(prompts.records.empty());
}

// Started in a folder that Windows-1252 cannot name, the program works
// there: profiles are created in it and the log lands beside them.
TEST_F(MainFormTest, AProgramDirectoryNamedOutsideWindows1252IsUsedAsItIs) {
    const std::string lodz = dir.Path() + "/łódź";
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(lodz)));
    QDir::setCurrent(QString::fromStdString(lodz));
    form = std::make_unique<TMainForm>(random, prompts, BotPorts{0, 0});
    EXPECT_EQ(form->Context().ProgramDirectory(), lodz);
    CreateProfile(QStringLiteral("anna"));
    EXPECT_EQ(ReadFileBytes(lodz + "/PROFILES/anna.ini"), "");
    form->LogMemo->AppendLine("Zeile");
    form->LogMemo->SyncJournal();
    EXPECT_EQ(ReadFileBytes(lodz + "/PROFILES/anna.log.parked"), "Zeile\r\n");
    form->show();
    EXPECT_TRUE(form->close());
    EXPECT_EQ(ReadFileBytes(lodz + "/PROFILES/anna.log"), "Zeile\r\n");
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(MainFormTest, AnUnwritableLogIsReportedAndTheOperatorMayKeepTheWindow) {
    CreateProfile(QStringLiteral("anna"));
    // A directory where the log file should go makes the write fail.
    QDir(QString::fromStdString(dir.Profiles())).mkdir(QStringLiteral("anna.log"));
    form->LogMemo->AppendLine("wichtig");
    form->show();
    prompts.answers = {false};
    form->QuitButtonClick();
    EXPECT_TRUE(form->isVisible());
    ASSERT_EQ(prompts.records.size(), 2u);
    EXPECT_EQ(prompts.records[0].kind, QStringLiteral("error"));
    EXPECT_EQ(prompts.records[0].text,
              QString::fromStdString("Datei " + dir.Profiles() + "/anna.log kann nicht erstellt werden"));
    EXPECT_EQ(prompts.records[1].kind, QStringLiteral("question"));
    EXPECT_FALSE(prompts.records[1].defaultYes) << "Enter keeps the window open";
    prompts.answers = {true};
    form->Beenden1Click();
    EXPECT_FALSE(form->isVisible());
}

// Ended from outside (shutdown, the terminal closing, Ctrl+C) the program
// saves the log as closing the window does, and asks nothing on the way,
// even when the log cannot be written.
TEST_F(MainFormTest, EachEndingSignalSavesTheLogWithoutAQuestion) {
    CreateProfile(QStringLiteral("anna"));
    ShutdownSignals endings;
    int received = 0;
    QObject::connect(&endings, &ShutdownSignals::Received, [&](int number) {
        received = number;
        form->SaveLogForShutdown();
    });
    int n = 0;
    for (int number : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(number);
        form->LogMemo->AppendLine("Zeile " + std::to_string(++n));
        received = 0;
        ASSERT_EQ(::raise(number), 0);
        ASSERT_TRUE(QTest::qWaitFor([&] { return received != 0; }, 5000));
        EXPECT_EQ(received, number);
        std::string expected;
        for (int i = 1; i <= n; ++i) expected += "Zeile " + std::to_string(i) + "\r\n";
        EXPECT_EQ(Escaped(ReadFileBytes(dir.Profiles() + "/anna.log")), Escaped(expected));
    }
    ::unlink((dir.Profiles() + "/anna.log").c_str());
    QDir(QString::fromStdString(dir.Profiles())).mkdir(QStringLiteral("anna.log"));
    received = 0;
    ASSERT_EQ(::raise(SIGTERM), 0);
    ASSERT_TRUE(QTest::qWaitFor([&] { return received != 0; }, 5000));
    EXPECT_TRUE(prompts.records.empty());
}

// Started twice from the menu: the second copy is refused the profile the
// first has loaded, by name, and neither loads nor empties it (no overwrite
// question); once the first is gone, it loads.
TEST_F(MainFormTest, ASecondCopyIsRefusedTheProfileTheFirstHasLoaded) {
    CreateProfile(QStringLiteral("anna"));
    ProfileFile(form->Context().ProfilePath()).WriteValue("IRC", "BotNick", "Anna");
    test::RecordingPrompts otherPrompts;
    auto other = std::make_unique<TMainForm>(random, otherPrompts, BotPorts{0, 0});
    EXPECT_FALSE(other->LoadProfileAtStart("Anna"));
    other->ProfileForm()->ProfileEdit->setText(QStringLiteral("Anna"));
    otherPrompts.answers = {true};
    other->ProfileForm()->CreateButtonClick();
    const QString refusal = QStringLiteral("Das Profil \"Anna\" ist schon in einem anderen Tovik-B0T geladen.");
    EXPECT_EQ(otherPrompts.Errors(), (std::vector<QString>{refusal, refusal}));
    EXPECT_EQ(otherPrompts.records.size(), 2u) << "no overwrite question";
    EXPECT_EQ(other->StatusText(), QStringLiteral("Profil: [kein Profil geladen ...]"));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/anna.ini"), "[IRC]\r\nBotNick=Anna\r\n");
    form.reset();
    EXPECT_TRUE(other->LoadProfileAtStart("anna") && other->OnlineButton->isEnabled());
}

// --profile in the window is as strict as without one: no profile file, no
// name: refused with the same text, nothing loaded or locked, no "&Online".
TEST_F(MainFormTest, TheCommandLinesProfileIsRefusedAsWithoutAWindow) {
    dir.MakeProfilesDir();
    EXPECT_FALSE(form->LoadProfileAtStart("tpyo") || form->LoadProfileAtStart(""));
    EXPECT_EQ(prompts.Errors(), (std::vector<QString>{QString::fromStdString("Das Profil \"tpyo\" existiert nicht: " +
                                                                             dir.Profiles() + "/tpyo.ini"),
                                                      QStringLiteral("Der Profilname ist leer.")}));
    EXPECT_EQ(form->StatusText(), QStringLiteral("Profil: [kein Profil geladen ...]"));
    EXPECT_FALSE(form->OnlineButton->isEnabled());
    EXPECT_TRUE(QDir(QString::fromStdString(dir.Profiles())).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

// Logging out: the session's request to save saves the log and asks
// nothing, even when it cannot be written; the journal then stays.
TEST_F(MainFormTest, TheSessionsRequestToSaveSavesTheLogQuietly) {
    CreateProfile(QStringLiteral("anna"));
    form->LogMemo->AppendLine("Zeile 1");
    // Only a session manager makes one; the handler never looks at it.
    alignas(QSessionManager) unsigned char manager[sizeof(QSessionManager)] = {};
    emit qApp->commitDataRequest(*reinterpret_cast<QSessionManager*>(manager));
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/anna.log"), "Zeile 1\r\n");
    ::unlink((dir.Profiles() + "/anna.log").c_str());
    QDir(QString::fromStdString(dir.Profiles())).mkdir(QStringLiteral("anna.log"));
    form->LogMemo->AppendLine("Zeile 2");
    emit qApp->commitDataRequest(*reinterpret_cast<QSessionManager*>(manager));
    EXPECT_TRUE(prompts.records.empty());
    form->LogMemo->SyncJournal();
    EXPECT_EQ(ReadFileBytes(dir.Profiles() + "/anna.log.parked"), "Zeile 2\r\n");
}

TEST_F(MainFormTest, ConsoleSendsTheExactLinesAndEmptiesTheFields) {
    FakeIrcServer server;
    CreateProfile(QStringLiteral("anna"));
    PointAt(server);
    form->OnlineButtonClick();
    ASSERT_TRUE(server.WaitForClient());
    ASSERT_TRUE(server.WaitForText("USER "));

    struct Row {
        const char* typed;
        const char* sent;
    };
    const Row rows[] = {
        {"op Foo-Bar", "MODE #Tovik-B0T +o Foo\r\n"},
        {"VOICE bob", "MODE #Tovik-B0T +v bob\r\n"},
        {"kick Eve", "KICK #Tovik-B0T Eve :Have a nice day ...\r\n"},
        {"invite Carol", "INVITE Carol #Tovik-B0T\r\n"},
        {"op [Foo]", "MODE #Tovik-B0T +o \r\n"},
    };
    for (const Row& row : rows) {
        server.received.clear();
        form->SendEdit->setText(QString::fromUtf8(row.typed));
        form->SendEditKeyPress();
        EXPECT_EQ(form->SendEdit->text(), QString());
        ASSERT_TRUE(server.WaitForText(row.sent)) << row.typed << " got " << Escaped(server.received);
        EXPECT_EQ(Escaped(server.received), Escaped(row.sent));
    }

    server.received.clear();
    form->SendEdit->setText(QStringLiteral("hello"));
    form->SendEditKeyPress();
    EXPECT_EQ(form->SendEdit->text(), QString());
    form->ServerSendEdit->setText(QStringLiteral("PRIVMSG #x :schön"));
    form->ServerSendEditKeyPress();
    EXPECT_EQ(form->ServerSendEdit->text(), QString());
    ASSERT_TRUE(server.WaitForText("PRIVMSG #x :sch\xF6n\r\n"));
    EXPECT_EQ(Escaped(server.received), Escaped("PRIVMSG #x :sch\xF6n\r\n")) << "hello sent nothing";
    EXPECT_TRUE(form->LogMemo->toPlainText().isEmpty()) << "sent lines are not logged";

    // Offline the fields are still emptied, and nothing is sent.
    form->OfflineButtonClick();
    ASSERT_TRUE(server.ClientGone());
    form->ServerSendEdit->setText(QStringLiteral("PING x"));
    form->ServerSendEditKeyPress();
    form->SendEdit->setText(QStringLiteral("op Alice"));
    form->SendEditKeyPress();
    EXPECT_EQ(form->ServerSendEdit->text(), QString());
    EXPECT_EQ(form->SendEdit->text(), QString());
    EXPECT_TRUE(prompts.Errors().empty());
}

TEST_F(MainFormTest, EnterInTheConsoleFieldsGoesToTheRuntime) {
    FakeIrcServer server;
    CreateProfile(QStringLiteral("anna"));
    PointAt(server);
    form->OnlineButtonClick();
    ASSERT_TRUE(server.WaitForText("USER "));
    server.received.clear();
    form->ServerSendEdit->setText(QStringLiteral("AWAY"));
    emit form->ServerSendEdit->returnPressed();
    ASSERT_TRUE(server.WaitForText("AWAY\r\n"));
    EXPECT_EQ(form->ServerSendEdit->text(), QString());
}

// Presses Alt+key in the window and waits for the click that the mnemonic
// animates; the button clicked, or nullptr.
QAbstractButton* PressAlt(QWidget* window, Qt::Key key) {
    QAbstractButton* clicked = nullptr;
    std::vector<QMetaObject::Connection> connections;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>())
        connections.push_back(QObject::connect(button, &QAbstractButton::clicked, [&clicked, button] {
            if (!clicked) clicked = button;
        }));
    QTest::keyClick(QApplication::focusWidget() ? QApplication::focusWidget() : window, key, Qt::AltModifier);
    WaitUntil([&] { return clicked != nullptr; }, 1000);
    for (const auto& c : connections) QObject::disconnect(c);
    return clicked;
}

TEST_F(MainFormTest, KeyboardAloneGoesOnlineSendsAndQuits) {
    FakeIrcServer server;
    CreateProfile(QStringLiteral("anna"));
    PointAt(server);
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    // "&Online" and "&Offline" share Alt+O; only the enabled one answers.
    EXPECT_EQ(PressAlt(form.get(), Qt::Key_O), form->OnlineButton);
    ASSERT_TRUE(server.WaitForText("USER "));
    server.received.clear();

    // Enter, typed as a key, sends the console and the raw line.
    form->SendEdit->setFocus();
    QTest::keyClicks(form->SendEdit, QStringLiteral("invite Carol"));
    QTest::keyClick(form->SendEdit, Qt::Key_Return);
    EXPECT_EQ(form->SendEdit->text(), QString());
    form->ServerSendEdit->setFocus();
    QTest::keyClicks(form->ServerSendEdit, QStringLiteral("AWAY :weg"));
    QTest::keyClick(form->ServerSendEdit, Qt::Key_Enter);
    EXPECT_EQ(form->ServerSendEdit->text(), QString());
    ASSERT_TRUE(server.WaitForText("AWAY :weg\r\n")) << Escaped(server.received);
    EXPECT_EQ(Escaped(server.received), Escaped("INVITE Carol #Tovik-B0T\r\nAWAY :weg\r\n"));

    EXPECT_EQ(PressAlt(form.get(), Qt::Key_O), form->OfflineButton);
    EXPECT_TRUE(form->OnlineButton->isEnabled());
    ASSERT_TRUE(server.ClientGone());

    EXPECT_EQ(PressAlt(form.get(), Qt::Key_B), form->QuitButton);
    EXPECT_FALSE(form->isVisible());
    EXPECT_TRUE(prompts.records.empty());
}

TEST_F(MainFormTest, TheDenyListIsMirroredIntoTheHiddenList) {
    form->Runtime().DenyNick("Spammer");
    form->Runtime().DenyNick("J\xF6rg");
    ASSERT_EQ(form->DenyListBox->count(), 2);
    EXPECT_EQ(form->DenyListBox->item(0)->text(), QStringLiteral("Spammer"));
    EXPECT_EQ(form->DenyListBox->item(1)->text(), QStringLiteral("Jörg"));
    form->Runtime().AllowNick("spammer");
    ASSERT_EQ(form->DenyListBox->count(), 1);
    EXPECT_EQ(form->DenyListBox->item(0)->text(), QStringLiteral("Jörg"));
}

TEST_F(MainFormTest, WholeOperatorFlow) {
    FakeIrcServer server;

    // Create a profile in the manager, which unlocks settings and Online.
    CreateProfile(QStringLiteral("demo"));
    ASSERT_TRUE(SettingsEnabled());

    // Settings through the dialogs, as typed by the operator.
    TIRCOptionsForm* irc = form->IRCOptionsForm();
    irc->FormShow();
    irc->IRCServerComboBox->setEditText(QStringLiteral("127.0.0.1"));
    irc->IRCPortEdit->setText(QString::number(server.Port()));
    irc->ComChannelEdit->setText(QStringLiteral("#Steuer"));
    irc->BotNickEdit->setText(QStringLiteral("Bärbel"));
    irc->ApplyButtonClick();
    TGeneralOptionsForm* general = form->GeneralOptionsForm();
    general->FormShow();
    general->CharTimeEdit->setText(QStringLiteral("1"));
    general->ApplyButtonClick();

    // Online: the bot registers with the server.
    form->OnlineButton->click();
    ASSERT_TRUE(server.WaitForClient());
    ASSERT_TRUE(server.WaitForText("NICK B\xE4rbel\r\n")) << Escaped(server.received);
    ASSERT_TRUE(server.WaitForText("USER "));
    server.Send(":irc.test 001 B\xE4rbel :Willkommen\r\n:irc.test 376 B\xE4rbel :End of MOTD\r\n");
    ASSERT_TRUE(server.WaitForText("JOIN #Steuer")) << Escaped(server.received);

    // A private message arrives, shows in the log and is answered.
    server.Send(":Anna!anna@host PRIVMSG B\xE4rbel :hallo, wie geht's? Gr\xFC\xDF" "e\r\n");
    ASSERT_TRUE(WaitUntil([&] {
        return form->LogMemo->toPlainText().contains(QStringLiteral("PRIVMSG Bärbel :hallo, wie geht's? Grüße"));
    }));
    ASSERT_TRUE(server.WaitForText("PRIVMSG Anna :")) << Escaped(server.received);
    const QString log = form->LogMemo->toPlainText();
    EXPECT_TRUE(log.startsWith(QStringLiteral(":irc.test 001 Bärbel :Willkommen\n"))) << log.toStdString();

    // Offline, then quit from the menu: the log is saved beside the profile.
    form->OfflineButton->click();
    EXPECT_TRUE(form->OnlineButton->isEnabled());
    ASSERT_TRUE(server.ClientGone());
    form->show();
    form->Beenden1->trigger();
    EXPECT_FALSE(form->isVisible());
    const std::string saved = ReadFileBytes(dir.Profiles() + "/demo.log");
    EXPECT_EQ(saved.rfind(":irc.test 001 B\xE4rbel :Willkommen\r\n", 0), 0u) << Escaped(saved);
    EXPECT_NE(saved.find(":Anna!anna@host PRIVMSG B\xE4rbel :hallo, wie geht's? Gr\xFC\xDF" "e\r\n"), std::string::npos)
        << Escaped(saved);
    EXPECT_EQ(prompts.Errors().size(), 0u);
}

}  // namespace
}  // namespace tovik
