#pragma once
// The running bot: owns the IRC connection and the ident and DCC servers,
// handles every received line, answers private messages at typing speed and
// obeys the command channel. It tells the window what happened through
// signals and never touches a widget.
//
// Behind it stand rooms of their own, each with the state it owns: the link
// (socket, TLS, framing, the paced send queue), the reconnect policy, the
// nick keeper, the command channel and the answering of partners. The
// runtime wires them and hands each received line to them in a fixed order.

#include <QObject>
#include <chrono>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "bot/link/ReconnectPolicy.h"
#include "bot/link/SendQueue.h"

namespace tovik {

class ProfileContext;
class Random;

struct BotPorts {
    quint16 ident = 113;
    quint16 dcc = 5678;
};

// The pace of everything that takes time on a live network. Tests shorten it.
struct BotTimings {
    SendPace pace;                             // 5 lines at once, then 1 per second
    std::chrono::milliseconds silence{90'000}; // quiet before a PING, and again before giving up
    double reconnectScale = 1.0;               // times the back-off (15 s ... 5 min)
    std::chrono::milliseconds nickCheck{60'000};  // ISON while another holds the configured nick
    std::chrono::milliseconds login{30'000};      // the server's answers to the account login
};

class BotRuntime : public QObject {
    Q_OBJECT
public:
    BotRuntime(ProfileContext& context, Random& random, BotPorts ports = {}, QObject* parent = nullptr);
    ~BotRuntime() override;

    // "&Online": reads server and port, switches ident on, connects.
    // False (and an ErrorOccurred) when it stopped before connecting.
    bool OnlineButtonClick();
    // "&Offline": ident off, connection closed at once, no QUIT, no further
    // attempts.
    void OfflineButtonClick();

    void SetTimings(const BotTimings& timings);

    // Operator console (op/voice/kick/invite in the command channel) and raw line.
    void SendEditKeyPress(const std::string& text);
    void ServerSendEditKeyPress(const std::string& text);

    // The deny list: nicks in typed case, no two equal after lowercasing.
    bool IsDenied(const std::string& nick) const;
    void DenyNick(const std::string& nick);
    void AllowNick(const std::string& nick);
    const std::vector<std::string>& DenyList() const;

    bool IsConnected() const;
    BotState State() const;
    quint16 IdentPort() const;
    quint16 DccPort() const;
    // Private messages received but not yet fully answered.
    std::size_t PendingAnswers() const;

signals:
    void LineReceived(const std::string& line);     // every received line, Windows-1252
    void ErrorOccurred(const std::string& text);    // German error text, Windows-1252
    void DenyListChanged(const std::vector<std::string>& nicks);
    // The server has logged the bot in to this account (Windows-1252).
    void LoggedIn(const std::string& account);
    // The server's Strict Transport Security policy took this connection
    // to TLS on `port`.
    void SecuredBySts(quint16 port);
    // `nextAttempt`: milliseconds until the next attempt while Waiting.
    void StateChanged(tovik::BotState state, qint64 nextAttempt);

private:
    class Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tovik
