#pragma once
// An IRC server stand-in on 127.0.0.1: accepts the bot's one connection,
// records every byte it sends (and when each line arrived) and sends what a
// test tells it to. Given a certificate it speaks TLS, as a server on a
// "+6697" port does.

#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <sys/socket.h>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "EventWait.h"
#include "TestSupport.h"

namespace tovik::test {

class FakeIrcServer {
public:
    struct Line {
        std::string text;  // without its "\r\n"
        qint64 atMs;       // arrival, ms since the server started
    };

    FakeIrcServer() : server_(std::make_unique<QTcpServer>()) { Listen(); }
    // On another address, ::1 say.
    explicit FakeIrcServer(const QHostAddress& address) : server_(std::make_unique<QTcpServer>()) { Listen(address); }
    explicit FakeIrcServer(const TestCertificate& certificate) {
        auto tls = std::make_unique<QSslServer>();
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        QFile cert(certificate.certFile);
        QFile key(certificate.keyFile);
        if (cert.open(QIODevice::ReadOnly) && key.open(QIODevice::ReadOnly)) {
            configuration.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
            configuration.setPrivateKey(QSslKey(&key, QSsl::Ec, QSsl::Pem));
        }
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        tls->setSslConfiguration(configuration);
        // The bot refusing the certificate shows here as a failed handshake.
        QObject::connect(tls.get(), &QSslServer::errorOccurred, [this](QSslSocket*, QAbstractSocket::SocketError) {
            ++failedHandshakes_;
        });
        server_ = std::move(tls);
        Listen();
    }

    int FailedHandshakes() const { return failedHandshakes_; }

    void Listen(const QHostAddress& address = QHostAddress::LocalHost) {
        clock_.start();
        server_->listen(address, 0);
        // A TLS server offers a connection once its handshake is done.
        QObject::connect(server_.get(), &QTcpServer::pendingConnectionAvailable, [this] {
            while (QTcpSocket* socket = server_->nextPendingConnection()) {
                client_ = socket;
                ++connections_;
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Collect(socket); });
                QObject::connect(socket, &QTcpSocket::errorOccurred, [this](QAbstractSocket::SocketError error) {
                    if (error == QAbstractSocket::RemoteHostClosedError) ++endedByBot_;
                });
            }
        });
    }

    quint16 Port() const { return server_->serverPort(); }
    int Connections() const { return connections_; }
    bool WaitForClient(int ms = 5000) { return AwaitCondition([this] { return client_ != nullptr; }, ms); }

    void Send(std::string_view bytes) {
        client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        client_->flush();
    }
    // Bytes past the TLS layer, straight onto the connection: to the bot's
    // TLS they are a broken record.
    void SendBeneathTls(std::string_view bytes) {
        ::send(static_cast<int>(client_->socketDescriptor()), bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void CloseClient() { client_->disconnectFromHost(); }
    // Ends the connection with a reset instead of a FIN: a zero linger time
    // makes the kernel drop the connection at once when it is closed.
    void ResetClient() {
        const linger abortive{1, 0};
        ::setsockopt(static_cast<int>(client_->socketDescriptor()), SOL_SOCKET, SO_LINGER, &abortive,
                     sizeof abortive);
        client_->abort();
    }
    // Connections the bot has closed, as the server saw them (end of stream).
    int EndedByBot() const { return endedByBot_; }
    bool WaitForEndedByBot(int count, int ms = 5000) {
        return AwaitCondition([this, count] { return endedByBot_ >= count; }, ms);
    }

    const std::string& Received() const { return received_; }
    const std::vector<Line>& Lines() const { return lines_; }
    std::vector<std::string> Texts(std::size_t from = 0) const {
        std::vector<std::string> texts;
        for (std::size_t i = from; i < lines_.size(); ++i) texts.push_back(lines_[i].text);
        return texts;
    }
    bool WaitForLines(std::size_t count, int ms = 5000) {
        return AwaitCondition([this, count] { return lines_.size() >= count; }, ms);
    }
    // Waits until a line (from index `from` on) equals `text`; its index or -1.
    int WaitForLine(std::string_view text, std::size_t from = 0, int ms = 5000) {
        int found = -1;
        AwaitCondition(
            [&] {
                for (std::size_t i = from; i < lines_.size(); ++i)
                    if (lines_[i].text == text) return (found = static_cast<int>(i)) >= 0;
                return false;
            },
            ms);
        return found;
    }
    // Waits until a line from index `from` on starts with `prefix`; its index or -1.
    int WaitForPrefix(std::string_view prefix, std::size_t from = 0, int ms = 5000) {
        int found = -1;
        AwaitCondition(
            [&] {
                for (std::size_t i = from; i < lines_.size(); ++i)
                    if (lines_[i].text.rfind(prefix, 0) == 0) return (found = static_cast<int>(i)) >= 0;
                return false;
            },
            ms);
        return found;
    }

private:
    void Collect(QTcpSocket* socket) {
        const QByteArray bytes = socket->readAll();
        received_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        for (std::size_t end; (end = received_.find('\n', parsed_)) != std::string::npos; parsed_ = end + 1) {
            const std::size_t cr = end > parsed_ && received_[end - 1] == '\r' ? 1 : 0;
            lines_.push_back({received_.substr(parsed_, end - parsed_ - cr), clock_.elapsed()});
        }
    }

    QElapsedTimer clock_;
    std::unique_ptr<QTcpServer> server_;
    int failedHandshakes_ = 0;
    QTcpSocket* client_ = nullptr;
    int connections_ = 0;
    int endedByBot_ = 0;
    std::string received_;
    std::size_t parsed_ = 0;
    std::vector<Line> lines_;
};

}  // namespace tovik::test
