// The program as a process in a temporary directory.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>

#include "TestSupport.h"
#include "app/ProgramOptions.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

using test::Escaped;
using test::ReadFileBytes;
using test::WaitUntil;

// The program in dir with a profile "anna" for port; a display only for a window.
void Start(QProcess& program, const QString& dir, quint16 port, const QStringList& args, bool window) {
    QDir(dir).mkpath(QStringLiteral("PROFILES"));
    test::WriteFileBytes(dir.toStdString() + "/PROFILES/anna.ini",
                         "[IRC]\r\nServer=127.0.0.1\r\nPort=" + std::to_string(port) +
                             "\r\nBotNick=TovikBot\r\n[General]\r\nCharTime=5\r\n[PersonData]\r\nPreName=Tovik\r\n");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    if (window) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir);
    program.start(QStringLiteral(TOVIK_PROGRAM), args);
    ASSERT_TRUE(program.waitForStarted(5000));
}

// SIGTERM and SIGHUP together while the log's place is taken: nothing asked,
// told once, ended within a second, the journal kept for the next start.
TEST(ProgramTest, EndingSignalsWithAFailingSaveEndAtOnceAndKeepTheJournal) {
    test::EnsureApp();
    const std::string lines = ":irc.test 001 TovikBot :Willkommen\r\n:irc.test NOTICE TovikBot :zwei\r\n";
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&] { server.nextPendingConnection()->write(lines.c_str()); });
    QTemporaryDir dir;
    const std::string profiles = dir.path().toStdString() + "/PROFILES";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(profiles + "/anna.log")));
    QProcess program;
    Start(program, dir.path(), server.serverPort(), {"--profile", "anna", "--online"}, true);
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(profiles + "/anna.log.parked") == lines; }, 10000));

    QElapsedTimer clock;
    clock.start();
    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ::kill(static_cast<pid_t>(program.processId()), SIGHUP);
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, kExitSaveFailed);
    const QString errors = QString::fromUtf8(program.readAllStandardError());
    EXPECT_EQ(errors.count(QString::fromStdString("tovik-bot: Datei " + profiles + "/anna.log kann nicht erstellt werden\n")), 1)
        << errors.toStdString();
    EXPECT_EQ(Escaped(ReadFileBytes(profiles + "/anna.log.parked")), Escaped(lines));
}

// What a service manager sees: each way to end has its own status, and a
// start that is refused leaves the log as it was (a fold's result included).
TEST(ProgramTest, EachWayToEndHasItsExitStatusAndARefusedStartKeepsTheLog) {
    test::EnsureApp();
    QTemporaryDir dir;
    const std::string profiles = dir.path().toStdString() + "/PROFILES";
    ASSERT_TRUE(QDir().mkpath(QString::fromStdString(profiles + "/voll.log")));
    test::WriteFileBytes(profiles + "/voll.ini", "[IRC]\r\nServer=127.0.0.1\r\nPort=1\r\n");
    test::WriteFileBytes(profiles + "/kaputt.ini", "[IRC]\r\nPort=abc\r\n");
    test::WriteFileBytes(profiles + "/kaputt.log", "alt\r\n");
    test::WriteFileBytes(profiles + "/kaputt.log.parked", "tot\r\n");
    ProfileLock held;
    ASSERT_EQ(ProfileLock::Acquire(profiles + "/anna.lock", held), ProfileLock::Outcome::Locked);
    struct Row {
        QStringList args;
        int status;
        std::string told;
        bool terminate = false;  // by SIGTERM once it runs (its first error: nobody on port 1)
    };
    const Row rows[] = {
        {{"--help"}, kExitOk, ""},
        {{"--onlin"}, kExitBadOptions, "tovik-bot: unbekannte Option --onlin (--help zeigt die Optionen)\n"},
        {{"--profile"}, kExitBadOptions, "tovik-bot: --profile braucht einen Profilnamen\n"},
        {{"--online"}, kExitBadOptions, "tovik-bot: --online braucht --profile NAME\n"},
        {{"--headless", "--profile", "tpyo"}, kExitRefused,
         "tovik-bot: Das Profil \"tpyo\" existiert nicht: " + profiles + "/tpyo.ini\n"},
        {{"--headless", "--profile", ""}, kExitRefused, "tovik-bot: Der Profilname ist leer.\n"},
        {{"--headless", "--online", "--profile", "kaputt"}, kExitRefused,
         "tovik-bot: 'abc' ist kein g\xC3\xBCltiger Integerwert\n"},
        {{"--headless", "--instance", "ann\\x61"}, kExitProfileBusy,
         "tovik-bot: Das Profil \"anna\" ist schon in einem anderen Tovik-B0T geladen.\n"},
        {{"--headless", "--online", "--profile", "voll"}, kExitSaveFailed,
         "tovik-bot: Asynchroner Socket-Fehler 111\ntovik-bot: Datei " + profiles + "/voll.log kann nicht erstellt werden\n",
         true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        QProcess program;
        Start(program, dir.path(), 1, row.args, false);
        program.setReadChannel(QProcess::StandardError);
        if (row.terminate && program.waitForReadyRead(10000)) ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
        ASSERT_TRUE(program.waitForFinished(20000));
        EXPECT_EQ(program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1, row.status);
        if (row.status != kExitOk) {
            EXPECT_EQ(program.readAllStandardError().toStdString(), row.told);
        }
    }
    EXPECT_EQ(Escaped(ReadFileBytes(profiles + "/kaputt.log")), Escaped("alt\r\ntot\r\n"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(profiles + "/kaputt.log.parked")));
}

// As a service runs it, without a display: it answers a partner without a
// GUI library in memory, and SIGTERM saves every received line to the log.
TEST(ProgramTest, HeadlessTheBotAnswersAPartnerAndSavesTheLogOnSigterm) {
    if (!QFile::exists(QStringLiteral("/usr/sbin/ngircd"))) GTEST_SKIP() << "ngircd is not installed";
    test::EnsureApp();
    QTemporaryDir dir;
    // Started as root it drops to "nobody", which must read its configuration.
    QFile::setPermissions(dir.path(), QFile::permissions(dir.path()) | QFile::ReadOther | QFile::ExeOther);
    const quint16 port = test::FreeLoopbackPort();
    const QString conf = dir.filePath(QStringLiteral("ngircd.conf"));
    test::WriteFileBytes(conf.toStdString(), "[Global]\nName = irc.test.local\nInfo = T\nListen = 127.0.0.1\nPorts = " +
                                                 std::to_string(port) + "\nAdminEMail = t@t.local\n[Options]\nPAM = no\nDNS = no\n");
    QFile::setPermissions(conf, QFile::permissions(conf) | QFile::ReadOther);
    QProcess ircd;
    ircd.start(QStringLiteral("/usr/sbin/ngircd"), {"-n", "-f", conf});
    QTcpSocket partner;
    ASSERT_TRUE(WaitUntil([&] { return partner.connectToHost(QHostAddress::LocalHost, port), partner.waitForConnected(200); }));
    std::string seen;
    QObject::connect(&partner, &QTcpSocket::readyRead, [&] { seen += partner.readAll().toStdString(); });
    const auto saw = [&](const std::string& part) {
        return WaitUntil([&] { return seen.find(part) != std::string::npos; }, 15000);
    };
    partner.write("NICK tester\r\nUSER tester 0 * :Test\r\n");
    ASSERT_TRUE(saw(" 001 tester "));

    QProcess program;
    Start(program, dir.path(), port, {"--headless", "--online", "--profile", "anna"}, false);
    const std::string profiles = dir.path().toStdString() + "/PROFILES";
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(profiles + "/anna.log.parked").find(" 376 ") != std::string::npos; }, 15000));
    partner.write("PRIVMSG TovikBot :hi, wie alt bist du?\r\n");
    ASSERT_TRUE(saw(":TovikBot!~Tovik@127.0.0.1 PRIVMSG tester :")) << seen;
    const std::string maps = ReadFileBytes("/proc/" + std::to_string(program.processId()) + "/maps");
    EXPECT_NE(maps.find("/libQt6Network.so"), std::string::npos);
    for (const char* library : {"libQt6Gui", "libQt6Widgets", "libQt6DBus", "libGL", "libOpenGL", "libEGL", "libxcb",
                                "libX11", "libxkbcommon", "libfontconfig"})
        EXPECT_EQ(maps.find(library), std::string::npos) << library;

    ::kill(static_cast<pid_t>(program.processId()), SIGTERM);
    ASSERT_TRUE(program.waitForFinished(5000));
    EXPECT_EQ(program.exitCode(), 0) << program.readAllStandardError().toStdString();
    const std::string log = ReadFileBytes(profiles + "/anna.log");
    // The capability negotiation comes first, then the welcome.
    EXPECT_TRUE(log.starts_with(":irc.test.local CAP * LS :")) << Escaped(log);
    EXPECT_NE(log.find("\r\n:irc.test.local 001 TovikBot :"), std::string::npos) << Escaped(log);
    EXPECT_NE(log.find("\r\n:tester!~tester@127.0.0.1 PRIVMSG TovikBot :hi, wie alt bist du?\r\n"), std::string::npos);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(profiles + "/anna.log.parked")));
    ircd.terminate();
    ircd.waitForFinished(5000);
}

// Without tovik-botd beside it, --headless says so and ends with its own
// status, which the service does not restart.
TEST(ProgramTest, HeadlessWithoutTheProgramBesideItTellsWhatIsMissing) {
    test::EnsureApp();
    QTemporaryDir dir;
    const QString alone = dir.filePath(QStringLiteral("tovik-bot"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(TOVIK_PROGRAM), alone));
    QProcess program;
    program.start(alone, {"--headless", "--profile", "anna"});
    ASSERT_TRUE(program.waitForFinished(20000));
    EXPECT_EQ(program.exitCode(), kExitNoHeadlessProgram);
    EXPECT_EQ(program.readAllStandardError().toStdString(),
              "tovik-bot: Das Programm ohne Fenster " + dir.path().toStdString() + "/tovik-botd kann nicht starten: es fehlt\n");
}

}  // namespace
}  // namespace tovik
