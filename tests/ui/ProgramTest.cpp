// The program itself, started as a process in a temporary directory: an
// ending signal while the log cannot be saved, and the bot without a window
// against ngircd on loopback, answering a partner until SIGTERM.

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <csignal>
#include <memory>

#include "TestSupport.h"

namespace tovik {
namespace {

using test::Escaped;
using test::ReadFileBytes;
using test::WaitUntil;
using test::WriteFileBytes;

constexpr const char* kServerBinary = "/usr/sbin/ngircd";

std::size_t Occurrences(const std::string& text, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

// The program in `dir` with a profile "anna" pointing at a server on port.
class Program {
public:
    Program(const QString& dir, quint16 port) : dir_(dir) {
        QDir(dir).mkpath(QStringLiteral("PROFILES"));
        WriteFileBytes(Profiles() + "/anna.ini", "[IRC]\r\nServer=127.0.0.1\r\nPort=" + std::to_string(port) +
                                                     "\r\nBotNick=TovikBot\r\n[General]\r\nCharTime=5\r\n"
                                                     "[PersonData]\r\nPreName=Tovik\r\n");
    }
    ~Program() {
        if (process_.state() == QProcess::NotRunning) return;
        process_.kill();
        process_.waitForFinished(5000);
    }
    std::string Profiles() const { return dir_.toStdString() + "/PROFILES"; }

    void Start(const QStringList& args, bool display) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
        if (display) env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process_.setProcessEnvironment(env);
        process_.setWorkingDirectory(dir_);
        process_.start(QStringLiteral(TOVIK_PROGRAM), args);
        ASSERT_TRUE(process_.waitForStarted(5000));
    }
    void Signal(int number) { ::kill(static_cast<pid_t>(process_.processId()), number); }
    bool Ended(int ms) { return process_.waitForFinished(ms); }
    int ExitCode() const { return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1; }
    std::string Errors() { return errors_ += process_.readAllStandardError().toStdString(); }

private:
    QString dir_;
    QProcess process_;
    std::string errors_;
};

// Ended from outside (the service manager sends SIGTERM and SIGHUP
// together) while the log's place is taken: the program asks nothing, says
// why on standard error once, ends within a second, and the journal keeps
// the lines for the next start.
TEST(ProgramTest, EndingSignalsWithAFailingSaveEndAtOnceAndKeepTheJournal) {
    test::EnsureApp();
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QObject::connect(&server, &QTcpServer::newConnection, [&] {
        QTcpSocket* client = server.nextPendingConnection();
        client->write(":irc.test 001 TovikBot :Willkommen\r\n:irc.test NOTICE TovikBot :zwei\r\n");
    });
    QTemporaryDir dir;
    Program program(dir.path(), server.serverPort());
    ASSERT_TRUE(QDir().mkdir(QString::fromStdString(program.Profiles() + "/anna.log")));
    program.Start({"--profile", "anna", "--online"}, true);
    const std::string journal = program.Profiles() + "/anna.log.parked";
    const std::string lines = ":irc.test 001 TovikBot :Willkommen\r\n:irc.test NOTICE TovikBot :zwei\r\n";
    ASSERT_TRUE(WaitUntil([&] { return ReadFileBytes(journal) == lines; }, 10000)) << program.Errors();

    QElapsedTimer clock;
    clock.start();
    program.Signal(SIGTERM);
    program.Signal(SIGHUP);
    ASSERT_TRUE(program.Ended(5000));
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(program.ExitCode(), 0);
    EXPECT_EQ(Occurrences(program.Errors(), "tovik-bot: Datei " + program.Profiles() + "/anna.log kann nicht erstellt werden\n"),
              1u)
        << program.Errors();
    EXPECT_EQ(Escaped(ReadFileBytes(journal)), Escaped(lines));
}

// A small partner for the headless test: registers, answers PING, collects.
class Partner {
public:
    explicit Partner(quint16 port) {
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] {
            received_ += socket_.readAll().toStdString();
            for (std::size_t at; (at = received_.find("PING ", scanned_)) != std::string::npos;) {
                const std::size_t end = received_.find('\n', at);
                if (end == std::string::npos) break;
                Send("PONG " + received_.substr(at + 5, end - at - 5));
                scanned_ = end;
            }
        });
        socket_.connectToHost(QHostAddress::LocalHost, port);
        Send("NICK tester");
        Send("USER tester 0 * :Test");
    }
    void Send(const std::string& line) { socket_.write((line + "\r\n").c_str()); }
    bool Saw(const std::string& part, int ms = 15000) {
        return WaitUntil([&] { return received_.find(part) != std::string::npos; }, ms);
    }
    const std::string& Received() const { return received_; }

private:
    QTcpSocket socket_;
    std::string received_;
    std::size_t scanned_ = 0;
};

// The bot without a window and without a display, as a service runs it: it
// goes online with its profile, answers a partner, and on SIGTERM saves
// every received line to the profile's log, as the window would.
TEST(ProgramTest, HeadlessTheBotAnswersAPartnerAndSavesTheLogOnSigterm) {
    if (!QFile::exists(kServerBinary)) GTEST_SKIP() << "ngircd is not installed";
    test::EnsureApp();
    QTemporaryDir dir;
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                          QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
    const quint16 port = test::FreeLoopbackPort();
    const QString conf = dir.filePath(QStringLiteral("ngircd.conf"));
    WriteFileBytes(conf.toStdString(), "[Global]\nName = irc.test.local\nInfo = Test\nListen = 127.0.0.1\nPorts = " +
                                           std::to_string(port) +
                                           "\nMotdPhrase = Willkommen\nAdminInfo1 = T\nAdminInfo2 = T\n"
                                           "AdminEMail = t@test.local\n[Options]\nPAM = no\nDNS = no\nIdent = no\n");
    QFile::setPermissions(conf, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QProcess ircd;
    ircd.setProcessChannelMode(QProcess::MergedChannels);
    ircd.start(QString::fromLatin1(kServerBinary), {"-n", "-f", conf});
    ASSERT_TRUE(ircd.waitForStarted(5000));
    ASSERT_TRUE(WaitUntil([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(200);
    }, 10000)) << ircd.readAll().toStdString();

    Program program(dir.path(), port);
    program.Start({"--headless", "--online", "--profile", "anna"}, false);
    Partner partner(port);
    ASSERT_TRUE(partner.Saw(" 001 tester "));
    // Online once the server knows the nick.
    ASSERT_TRUE(WaitUntil([&] {
        partner.Send("ISON TovikBot");
        return partner.Saw(" 303 tester :TovikBot", 300);
    }, 15000)) << program.Errors();
    partner.Send("PRIVMSG TovikBot :hi, wie alt bist du?");
    ASSERT_TRUE(partner.Saw(":TovikBot!")) << program.Errors();
    ASSERT_TRUE(partner.Saw(" PRIVMSG tester :")) << partner.Received() << program.Errors();

    program.Signal(SIGTERM);
    ASSERT_TRUE(program.Ended(5000));
    EXPECT_EQ(program.ExitCode(), 0) << program.Errors();
    const std::string log = ReadFileBytes(program.Profiles() + "/anna.log");
    EXPECT_NE(log.find(" 001 TovikBot :"), std::string::npos) << Escaped(log);
    EXPECT_NE(log.find(":tester!~tester@127.0.0.1 PRIVMSG TovikBot :hi, wie alt bist du?\r\n"), std::string::npos)
        << Escaped(log);
    EXPECT_TRUE(log.ends_with("\r\n"));
    EXPECT_FALSE(QFile::exists(QString::fromStdString(program.Profiles() + "/anna.log.parked")));
    ircd.terminate();
    ircd.waitForFinished(5000);
}

}  // namespace
}  // namespace tovik
