#pragma once
// The DCC SEND side of a photo offer: waits for receivers on its port and
// streams the picture file to each one exactly once.

#include <QObject>
#include <functional>
#include <string>

class QTcpServer;

namespace tovik {

class DCCServer : public QObject {
    Q_OBJECT
public:
    using PicturePathSource = std::function<std::string()>;  // read at each connect

    DCCServer(quint16 port, PicturePathSource picturePath, QObject* parent = nullptr);
    ~DCCServer() override;

    // Starts listening; does nothing when already listening. Throws
    // SocketError when the port cannot be opened.
    void SwitchOn();
    // Closes the listener and every connection.
    void SwitchOff();
    bool IsListening() const;
    quint16 Port() const;            // the configured port, or the bound one once listening
    int OpenConnections() const;

signals:
    void ErrorOccurred(const std::string& text);

private:
    class Transfer;
    void DCCServerClientConnect();
    void DCCServerClientRead(Transfer* transfer);
    quint16 port_;
    PicturePathSource picturePath_;
    QTcpServer* server_;
};

}  // namespace tovik
