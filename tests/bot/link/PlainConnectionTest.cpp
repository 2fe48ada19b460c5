// The program on a plain connection, as a process: nothing of TLS is loaded,
// not with a client certificate named in the profile, not by a SCRAM login,
// not by answering a partner.

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <string>
#include <vector>

#include "TestSupport.h"

namespace tovik {
namespace {

using test::WaitUntil;

TEST(PlainConnectionTest, AHeadlessBotOnAPlainConnectionMapsNoTlsLibrary) {
    test::EnsureApp();
    QTcpServer server;
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost, 0));
    QTemporaryDir dir;
    const std::string home = dir.path().toStdString();
    ASSERT_TRUE(QDir(dir.path()).mkpath(QStringLiteral("PROFILES")));
    test::WriteFileBytes(home + "/client.pem", "-----BEGIN CERTIFICATE-----\n");
    test::WriteFileBytes(home + "/PROFILES/anna.ini",
                         "[IRC]\r\nServer=127.0.0.1\r\nPort=" + std::to_string(server.serverPort()) +
                             "\r\nBotNick=TovikBot\r\nSASLAccount=anna\r\nSASLPassword=pencil\r\n"
                             "SASLMechanisms=EXTERNAL SCRAM-SHA-256\r\nTLSClientCert=" + home +
                             "/client.pem\r\n[General]\r\nCharTime=0\r\n");
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QString::fromLatin1(name));
    env.insert(QStringLiteral("ASAN_OPTIONS"), QStringLiteral("detect_leaks=0"));
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(dir.path());
    program.start(QStringLiteral(TOVIK_PROGRAM), {"--headless", "--online", "--profile", "anna"});
    ASSERT_TRUE(WaitUntil([&] { return server.hasPendingConnections(); }, 15000));
    QTcpSocket* bot = server.nextPendingConnection();

    std::vector<std::string> lines;
    std::string partial;
    QObject::connect(bot, &QTcpSocket::readyRead, [&] {
        partial += bot->readAll().toStdString();
        for (std::size_t end; (end = partial.find("\r\n")) != std::string::npos; partial.erase(0, end + 2))
            lines.push_back(partial.substr(0, end));
    });
    std::size_t seen = 0;
    // The next line the bot sends that starts with `prefix`.
    const auto next = [&](const std::string& prefix) {
        std::string found;
        WaitUntil([&] {
            for (; seen < lines.size() && found.empty(); ++seen)
                if (lines[seen].starts_with(prefix)) found = lines[seen];
            return !found.empty();
        }, 15000);
        return found;
    };
    const auto send = [&](const std::string& text) { bot->write(text.data(), static_cast<qint64>(text.size())); };

    ASSERT_FALSE(next("USER ").empty());
    send(":srv CAP * LS :sasl=EXTERNAL,SCRAM-SHA-256\r\n");
    ASSERT_FALSE(next("CAP REQ :sasl").empty());
    send(":srv CAP * ACK :sasl\r\n");
    // No certificate was shown, so EXTERNAL is passed over without a look
    // at the file.
    ASSERT_FALSE(next("AUTHENTICATE SCRAM-SHA-256").empty());
    send("AUTHENTICATE +\r\n");
    const auto said = [&] {
        return QByteArray::fromBase64(QByteArray::fromStdString(next("AUTHENTICATE ").substr(13))).toStdString();
    };
    const std::string first = said();
    ASSERT_NE(first.find(",r="), std::string::npos) << first;
    // The key derivation and the proof, then a refusal.
    const std::string challenge = "r=" + first.substr(first.find(",r=") + 3) + "srv,s=W22ZaJ0SNY7soEsUEjb6gQ==,i=4096";
    send("AUTHENTICATE " + QByteArray::fromStdString(challenge).toBase64().toStdString() + "\r\n");
    ASSERT_NE(said().find(",p="), std::string::npos);
    send(":srv 904 TovikBot :SASL authentication failed\r\n");
    ASSERT_FALSE(next("CAP END").empty());
    send(":srv 001 TovikBot :Willkommen\r\n:srv 376 TovikBot :Ende\r\n:anna!a@h PRIVMSG TovikBot :hi\r\n");
    ASSERT_FALSE(next("PRIVMSG anna :").empty());

    const std::string maps = test::ReadFileBytes("/proc/" + std::to_string(program.processId()) + "/maps");
    ASSERT_NE(maps.find("libQt6Network"), std::string::npos);
    for (const char* tls : {"/libssl.so", "/libcrypto.so", "/plugins/tls/"})
        EXPECT_EQ(maps.find(tls), std::string::npos) << tls << " is loaded";
    program.terminate();
    EXPECT_TRUE(program.waitForFinished(10000));
}

}  // namespace
}  // namespace tovik
