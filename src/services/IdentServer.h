#pragma once
// RFC 1413 ident responder. Listens while the bot registers; answers each
// connection's query on that connection, then closes it.

#include <QObject>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QTcpServer;
class QTcpSocket;

namespace tovik {

template <typename Connection>
class ConnectionSet;

class IdentServer : public QObject {
    Q_OBJECT
public:
    using UserIdSource = std::function<std::string()>;  // read at each query

    // A query line longer than this is not a port pair but a misbehaving peer.
    static constexpr std::size_t kMaxQueryBytes = 1000;
    static constexpr int kDefaultQueryTimeoutMs = 30000;
    // Connections waiting for their query at one time. A server asks once per
    // client connection; beyond this someone is flooding the port, and each
    // further connection is closed at once instead of holding a descriptor.
    static constexpr std::size_t kMaxConnections = 16;

    IdentServer(quint16 port, UserIdSource userId, QObject* parent = nullptr);
    ~IdentServer() override;

    // Starts listening; does nothing when already listening. Throws
    // SocketError when the port cannot be opened.
    void SwitchOn();
    // Closes the listener and every connection; does nothing when off.
    void SwitchOff();
    bool IsListening() const;
    quint16 Port() const;  // the bound port once listening (tests bind port 0)

    // How long a connection may take to send its query line before it is
    // closed unanswered; applies to connections accepted afterwards.
    void SetQueryTimeoutMs(int ms);
    int OpenConnections() const;

signals:
    void ErrorOccurred(const std::string& text);

private:
    class Query;
    void IdentServerClientConnect();
    void Forget(Query* query);
    quint16 port_;
    UserIdSource userId_;
    QTcpServer* server_;
    int queryTimeoutMs_ = kDefaultQueryTimeoutMs;
    std::unique_ptr<ConnectionSet<Query>> queries_;
};

// The answer to one query line (given without its line end), ending in CR LF:
//   "6193, 23"  ->  "6193, 23 : USERID : UNIX : <user id>\r\n"
//   "hello"     ->  "hello : ERROR : INVALID-PORT\r\n"
// userId is asked only for a well-formed query; CR, LF and NUL are removed
// from what it returns. Whatever userId throws passes through.
std::string IdentAnswer(std::string_view query, const IdentServer::UserIdSource& userId);

// True for two decimal ports 1..65535 separated by a comma, blanks allowed
// around each: "6193, 23", " 113 ,6667 ".
bool IsIdentPortPair(std::string_view query);

}  // namespace tovik
