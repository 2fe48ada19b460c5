#include "services/IdentServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <exception>

#include "irc/IRC.h"
#include "services/ConnectionSet.h"
#include "services/Listen.h"
#include "text/Cp1252.h"
#include "text/Errors.h"

namespace tovik {

namespace {

bool IsPort(std::string_view text) {
    text = TrimBlanks(text);
    if (text.empty()) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
        if (value > 65535) return false;
    }
    return value >= 1;
}

}  // namespace

bool IsIdentPortPair(std::string_view query) {
    const auto comma = query.find(',');
    if (comma == std::string_view::npos) return false;
    return IsPort(query.substr(0, comma)) && IsPort(query.substr(comma + 1));
}

std::string IdentAnswer(std::string_view query, const IdentServer::UserIdSource& userId) {
    const std::string_view trimmed = TrimBlanks(query);
    const std::string ports = RemoveLineBreaks(trimmed);
    if (!IsIdentPortPair(trimmed)) return ports + " : ERROR : INVALID-PORT\r\n";
    // RFC 1413 ends every reply with CR LF, and strict resolvers reject
    // anything else.
    return OnTheWire(MakeIdentReply(ports, "UNIX", RemoveLineBreaks(userId())));
}

// One accepted connection: collects its query line, answers once, closes.
class IdentServer::Query : public QObject {
public:
    Query(IdentServer& owner, QTcpSocket* socket, int timeoutMs)
        : QObject(&owner), owner_(owner), socket_(socket) {
        socket_->setParent(this);
        connect(socket_, &QTcpSocket::readyRead, this, &Query::Read);
        connect(socket_, &QTcpSocket::disconnected, this, [this] { owner_.Forget(this); });
        connect(socket_, &QTcpSocket::errorOccurred, this, &Query::Failed);
        timer_.setSingleShot(true);
        connect(&timer_, &QTimer::timeout, this, [this] { Close(); });
        timer_.start(timeoutMs);
    }

    // Separate from the constructor: reading may close the connection, and
    // the owner must already know the query by then.
    void Start() { Read(); }  // the query may have arrived with the connection

    // Closes at once, without notifying the owner (switching off).
    void Drop() {
        socket_->disconnect(this);
        timer_.stop();
        socket_->abort();
    }

private:
    void Read() {
        const QByteArray data = socket_->readAll();
        if (done_) return;  // anything after the query is read and dropped
        pending_.append(data.constData(), static_cast<std::size_t>(data.size()));
        const auto lineEnd = pending_.find('\n');
        if (lineEnd == std::string::npos) {
            if (pending_.size() > kMaxQueryBytes) Close();
            return;
        }
        std::string_view line(pending_.data(), std::min(lineEnd, kMaxQueryBytes + 1));
        if (line.size() > kMaxQueryBytes) return Close();
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        Answer(line);
    }

    void Answer(std::string_view line) {
        std::string reply;
        std::string failure;
        try {
            reply = IdentAnswer(line, owner_.userId_);
        } catch (const std::exception& e) {
            // The resolver still deserves an answer; the operator learns why.
            failure = e.what();
            reply = RemoveLineBreaks(TrimBlanks(line)) + " : ERROR : UNKNOWN-ERROR\r\n";
        }
        socket_->write(reply.data(), static_cast<qint64>(reply.size()));
        Close();
        if (!failure.empty()) emit owner_.ErrorOccurred(failure);
    }

    // Graceful: whatever was written still reaches the peer before the FIN.
    void Close() {
        done_ = true;
        timer_.stop();
        pending_.clear();
        socket_->disconnectFromHost();
    }

    void Failed(QAbstractSocket::SocketError error) {
        if (!IsPeerClosing(error)) emit owner_.ErrorOccurred(SocketFailureText(error, socket_->errorString(), "recv"));
        socket_->abort();
    }

    IdentServer& owner_;
    QTcpSocket* socket_;
    QTimer timer_;
    std::string pending_;
    bool done_ = false;
};

IdentServer::IdentServer(quint16 port, UserIdSource userId, QObject* parent)
    : QObject(parent),
      port_(port),
      userId_(std::move(userId)),
      server_(new QTcpServer(this)),
      queries_(std::make_unique<ConnectionSet<Query>>(kMaxConnections)) {
    connect(server_, &QTcpServer::newConnection, this, &IdentServer::IdentServerClientConnect);
}

IdentServer::~IdentServer() = default;

void IdentServer::SwitchOn() {
    if (server_->isListening()) return;
    // All addresses, both families: the IRC server asks from whichever
    // address family the bot reached it over.
    ListenOrThrow(*server_, QHostAddress::Any, port_);
}

void IdentServer::SwitchOff() {
    server_->close();
    queries_->DropAll();
}

bool IdentServer::IsListening() const { return server_->isListening(); }

quint16 IdentServer::Port() const { return server_->isListening() ? server_->serverPort() : port_; }

void IdentServer::SetQueryTimeoutMs(int ms) { queryTimeoutMs_ = ms; }

int IdentServer::OpenConnections() const { return static_cast<int>(queries_->Size()); }

void IdentServer::IdentServerClientConnect() {
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (!queries_->Admit(socket)) continue;
        auto* query = new Query(*this, socket, queryTimeoutMs_);
        queries_->Add(query);
        query->Start();
    }
}

void IdentServer::Forget(Query* query) { queries_->Forget(query); }

}  // namespace tovik
