#pragma once
// RFC 1413 ident responder. Listens while the bot registers; answers each
// connection's query on that connection, then closes it.

#include <QObject>
#include <functional>
#include <string>

class QTcpServer;
class QTcpSocket;

namespace tovik {

class IdentServer : public QObject {
    Q_OBJECT
public:
    using UserIdSource = std::function<std::string()>;  // read at each query

    IdentServer(quint16 port, UserIdSource userId, QObject* parent = nullptr);
    ~IdentServer() override;

    // Starts listening; does nothing when already listening. Throws
    // SocketError when the port cannot be opened.
    void SwitchOn();
    // Closes the listener and every connection; does nothing when off.
    void SwitchOff();
    bool IsListening() const;
    quint16 Port() const;  // the bound port once listening (tests bind port 0)

signals:
    void ErrorOccurred(const std::string& text);

private:
    void IdentServerClientConnect();
    quint16 port_;
    UserIdSource userId_;
    QTcpServer* server_;
};

}  // namespace tovik
