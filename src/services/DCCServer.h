#pragma once
// The DCC SEND side of a photo offer: waits for receivers on its port and
// streams the picture file to each one exactly once.

#include <QObject>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QTcpServer;

namespace tovik {

template <typename Connection>
class ConnectionSet;

// DCC receivers acknowledge with the running total of bytes received, as a
// 4-byte big-endian number modulo 2^32. TCP may split one acknowledgement
// over two reads or deliver several in one; this reassembles them.
class DCCAckReader {
public:
    // Takes the next bytes from the receiver; returns how many
    // acknowledgements they completed (the newest is then Last()).
    int Feed(std::string_view bytes);
    std::uint32_t Last() const { return last_; }
    bool Any() const { return count_ > 0; }

private:
    std::uint32_t partial_ = 0;
    int partialBytes_ = 0;
    std::uint32_t last_ = 0;
    std::uint64_t count_ = 0;
};

// An acknowledgement confirms the whole file when it equals its size
// modulo 2^32 (the counter wraps for files of 4 GiB and more).
inline bool AckCoversFile(std::uint32_t ack, std::uint64_t fileSize) {
    return ack == static_cast<std::uint32_t>(fileSize);
}

class DCCServer : public QObject {
    Q_OBJECT
public:
    using PicturePathSource = std::function<std::string()>;  // read at each connect

    static constexpr int kDefaultStallTimeoutMs = 60000;
    // The longest a connection may hold a transfer slot, whatever it sends:
    // a photo crosses even a slow line in a fraction of this.
    static constexpr int kDefaultLifeTimeoutMs = 15 * 60000;
    // Transfers at one time. Each holds a file and a socket buffer; while the
    // listener waits for its first receiver anyone may connect, and without a
    // bound a stream of connections would take memory and descriptors until
    // the bot fails. Connections beyond it are closed at once.
    static constexpr std::size_t kMaxTransfers = 16;

    DCCServer(quint16 port, PicturePathSource picturePath, QObject* parent = nullptr);
    ~DCCServer() override;

    // The port the next SwitchOn opens (0: any free one).
    void SetPort(quint16 port) { port_ = port; }
    // Starts listening; does nothing when already listening. Throws
    // SocketError when the port cannot be opened.
    void SwitchOn();
    // Closes the listener and every connection.
    void SwitchOff();
    bool IsListening() const;
    quint16 Port() const;            // the configured port, or the bound one once listening
    int OpenConnections() const;

    // A transfer that makes no progress (nothing written, nothing
    // acknowledged) for this long is closed; applies to later connections.
    void SetStallTimeoutMs(int ms);
    // A connection is cut this long after it came, finished or not; applies
    // to later connections.
    void SetLifeTimeoutMs(int ms);

signals:
    void ErrorOccurred(const std::string& text);
    // The listener has opened on `port`, and has closed again (switched off,
    // or the offer taken up).
    void Opened(quint16 port);
    void Closed();

private:
    class Transfer;
    void CloseListener();
    void DCCServerClientConnect();
    void DCCServerClientRead(Transfer* transfer);
    void Forget(Transfer* transfer);
    quint16 port_;
    PicturePathSource picturePath_;
    QTcpServer* server_;
    int stallTimeoutMs_ = kDefaultStallTimeoutMs;
    int lifeTimeoutMs_ = kDefaultLifeTimeoutMs;
    // Counts the times the listener was opened, so that an acknowledgement on
    // a connection from an earlier offer does not close a newer listener.
    std::uint64_t listenRound_ = 0;
    std::unique_ptr<ConnectionSet<Transfer>> transfers_;
};

}  // namespace tovik
