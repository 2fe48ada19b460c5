#pragma once
// The bot's one connection to an IRC server, and nothing of the session on
// it: the socket (plain TCP, or TLS for a port written "+6697"), the
// certificate check, the line framing, the paced send queue and the
// dead-link check. It moves lines and tells what happened; what the lines
// mean is the runtime's business.
//
// Each attempt gets a socket of its own, so that nothing a connection was
// allowed (a certificate accepted by its pin, above all) carries over to
// the next one. A plain connection gets a plain socket: Qt loads its TLS
// backend, and with it the TLS library, with the first TLS socket, which
// costs a bot that never speaks TLS several megabytes and a layer on every
// read and write.

#include <QObject>
#include <chrono>
#include <functional>
#include <string_view>
#include <QList>
#include <string>

#include "bot/link/ConnectionEndProbe.h"
#include "bot/link/SendQueue.h"
#include "irc/LineBuffer.h"

class QSslError;
class QSslSocket;
class QTcpSocket;
class QTimer;

namespace tovik {

struct LinkTarget {
    std::string host;  // Windows-1252, as the profile holds it
    quint16 port = 6667;
    bool tls = false;
    // Lower-case hex SHA-256 of the certificate the profile pins; empty:
    // the system's certificate store decides.
    std::string pin;
    // A PEM file with a client certificate and its key, shown to the server
    // in every TLS handshake (its fingerprint may stand for an account).
    std::string clientCertificate;
};

class IrcLink : public QObject {
    Q_OBJECT
public:
    explicit IrcLink(QObject* parent = nullptr);
    ~IrcLink() override;

    void SetPace(SendPace pace) { queue_.SetPace(pace); }
    void SetSilence(std::chrono::milliseconds silence) { silence_ = silence; }
    void SetGate(SendQueue::Gate gate) { queue_.SetGate(std::move(gate)); }
    void SetFeed(LineFeed* feed) { queue_.SetFeed(feed); }

    // Starts an attempt. Nothing of an earlier connection stays queued.
    // Throws Error when the client certificate cannot be read.
    void Open(const LinkTarget& target);
    // Ends the connection at once, without QUIT. Ended follows.
    void Abort();

    // No connection, and no attempt under way.
    bool Idle() const;
    // Connected, and for TLS past the handshake and the certificate check:
    // lines may go out.
    bool Ready() const;
    bool Tls() const { return target_.tls; }
    const LinkTarget& Target() const { return target_; }
    // The server is on this machine (127.0.0.0/8, ::1): a bouncer, say.
    bool PeerIsLoopback() const;
    // This connection showed the server a client certificate.
    bool ShowedCertificate() const { return showedCertificate_; }
    // The connection's own address and the server's, IPv4 dotted or IPv6
    // text; empty without a connection.
    std::string LocalAddress() const;
    std::string PeerAddress() const;

    // Queues one complete, sealed protocol line. `partner` tags an answer
    // line; LineLeft names it when the line has gone to the socket.
    // `destination` is what the queue's gate guards. False when nothing can
    // be sent now (no connection): the line is dropped.
    bool Send(std::string line, LineClass lineClass, std::string partner = {}, std::string destination = {});
    // The feed has a line: out with it, if the pace allows.
    void Fed();
    // Lines tagged for `partner` that still wait (SendQueue::Revise).
    void Revise(std::string_view partner, const std::function<bool(std::string& line)>& revise) {
        queue_.Revise(partner, revise);
    }
    // Whatever the queue let go is handed to the kernel now, in as few
    // segments as possible.
    void Flush();

signals:
    // The connection stands (for TLS: the certificate is accepted);
    // registration may begin.
    void Established();
    // One received line, without its line end.
    void LineArrived(const std::string& line);
    // All lines of one read have been told.
    void ReadFinished();
    void LineLeft(const std::string& partner);
    // Why an attempt or a connection failed, in German.
    void Failed(const std::string& text);
    // The connection is over, whatever ended it.
    void Ended();

private:
    void Read();
    void Connected();
    void Encrypted();
    void SslErrors(const QList<QSslError>& errors);
    void SocketFailed(int error);
    void SilenceTimeout();
    void ListenForSilence();
    void WriteDue();
    void ArmQueueTimer();
    void Drop();
    std::string PeerDigest() const;
    std::string FailureText(int error);

    QTcpSocket* socket_ = nullptr;
    QSslSocket* tls_ = nullptr;  // the same socket, for a TLS connection
    QTimer* queueTimer_;    // the next queued line may leave
    // Nothing received for a while. It is not restarted for every read,
    // which would cost each line a timer's removal and insertion: it runs
    // out and looks when the link was last heard from.
    QTimer* silenceTimer_;
    std::chrono::steady_clock::time_point heard_;
    SendQueue queue_;
    LineBuffer lines_;
    ConnectionEndProbe endProbe_;
    LinkTarget target_;
    std::chrono::milliseconds silence_{90'000};
    bool pingSent_ = false;
    bool showedCertificate_ = false;
    std::string tlsRefusal_;  // why the bot refused the handshake, when it did
};

}  // namespace tovik
