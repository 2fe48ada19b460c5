#include "bot/BotRuntime.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QSslSocket>
#include <QTimer>
#include <chrono>
#include <exception>
#include <optional>
#include <random>

#include "bot/ChannelOwnership.h"
#include "bot/ServerSupport.h"
#include "bot/Charset.h"
#include "bot/ConnectionEndProbe.h"
#include "bot/Conversations.h"
#include "bot/Credits.h"
#include "bot/DenyList.h"
#include "bot/OperatorConsole.h"
#include "bot/OutgoingLine.h"
#include "bot/RemoteCommands.h"
#include "bot/Sasl.h"
#include "bot/TlsPin.h"
#include "bot/Report.h"
#include "bot/Reconnect.h"
#include "chat/Answers.h"
#include "chat/Persona.h"
#include "irc/IRC.h"
#include "irc/LineBuffer.h"
#include "irc/Message.h"
#include "profile/ProfileStore.h"
#include "services/DCCServer.h"
#include "services/IdentServer.h"
#include "services/Listen.h"
#include "text/Cp1252.h"
#include "text/Encoding.h"
#include "text/Errors.h"

namespace tovik {

namespace {


// What a photo answer needs: the address the partner can reach the bot at
// (the IRC connection's own IPv4 address) and a DCC server that listens.
class BotPhotoOffer final : public PhotoOffer {
public:
    BotPhotoOffer(const QTcpSocket& client, DCCServer& dcc) : client_(client), dcc_(dcc) {}

    std::string LocalAddress() const override {
        bool ok = false;
        const quint32 ipv4 = client_.localAddress().toIPv4Address(&ok);
        return ok ? QHostAddress(ipv4).toString().toStdString() : std::string("0.0.0.0");
    }
    std::uint16_t PrepareDccPort() override {
        if (dcc_.Port() == 0 && !dcc_.IsListening()) dcc_.SwitchOn();
        return dcc_.Port();
    }
    void SwitchDccOn() override { dcc_.SwitchOn(); }

private:
    const QTcpSocket& client_;
    DCCServer& dcc_;
};

// The command word of a line the operator typed for the server.
std::string RawCommandOf(std::string_view text) {
    text = TrimBlanks(text);
    return LowerAnsi(text.substr(0, text.find(' ')));
}

}  // namespace

class BotRuntime::Impl {
public:
    Impl(BotRuntime& owner, ProfileContext& context, Random& random, BotPorts ports);
    ~Impl();

    bool OnlineButtonClick();
    void OfflineButtonClick();
    void SendEditKeyPress(const std::string& text);
    void ServerSendEditKeyPress(const std::string& text);
    void SetTimings(const BotTimings& timings);
    void DenyListChanged() { emit owner_.DenyListChanged(denyList_.Entries()); }
    void ReportError(const std::exception& error) { emit owner_.ErrorOccurred(error.what()); }
    template <typename F>
    void Guarded(F&& f) {
        try {
            f();
        } catch (const std::exception& error) {
            ReportError(error);
        } catch (...) {
            emit owner_.ErrorOccurred("Unbekannter Fehler");
        }
    }

    QSslSocket* ircClient_;  // plain TCP, or TLS for a port written "+6697"
    IdentServer* identServer_;
    DCCServer* dccServer_;
    tovik::DenyList denyList_;  // qualified: BotRuntime::DenyList() hides the class name
    Conversations conversations_;
    BotState state_ = BotState::Offline;

    // Connected, and for TLS past the handshake: lines may go out.
    bool Ready() const;

private:
    using Clock = std::chrono::steady_clock;
    ProfileFile Profile() const { return ProfileFile(context_.ProfilePath()); }

    // Connecting, and what happens when a connection ends.
    void Connect();
    void ConnectAgain();
    void IRCClientConnect();
    void IRCClientEncrypted();
    void IRCClientSslErrors(const QList<QSslError>& errors);
    void IRCClientError(QAbstractSocket::SocketError error);
    void ReportAttemptFailure(const std::exception& failure);
    std::string PeerDigest() const;
    void ConnectionEnded();
    void RetryLater();
    void SetState(BotState state, std::chrono::milliseconds nextAttempt = {});
    void SilenceTimeout();
    void SwitchIdentOn();

    // Received lines.
    void IRCClientRead();
    void HandleServerLine(const std::string& line);
    void SendRegistration();
    void BeginLogin();
    void FollowLogin(const std::string& line);
    void ApplyLogin(SaslExchange::Outcome outcome);
    std::string ConfiguredNick() const;
    void NickInUse();
    void FollowNicks(const std::string& line, const std::string& command);
    void CheckNick();
    void JoinCommandChannel(const std::string& channel);
    void LockCommandChannel(const std::string& channel, const std::string& botNick);
    void RoutePrivateMessage(const std::string& line, const std::string& channel,
                             const std::string& botNick, int charTime);

    // Which charset a line goes out in.
    Charset DefaultCharset() const;
    Charset CharsetFor(std::string_view target) const;

    // Answering private messages.
    void ReportIncoming(const PrivateMessage& message);
    std::vector<std::string> AnswerPrivateMessage(const PrivateMessage& message);
    void Converse();

    // The one send point and its paced queue.
    enum class Cleaning { Seal, AsTyped };
    bool Send(const std::string& line, LineClass lineClass = LineClass::Normal, Charset charset = Charset::Cp1252,
              std::string partner = {}, Cleaning cleaning = Cleaning::Seal);
    void WriteDue();
    void ArmPumpTimer();
    void DiscardSession();

    BotRuntime& owner_;
    ProfileContext& context_;
    Random& random_;
    BotTimings timings_;
    SendQueue sendQueue_;
    QTimer* pumpTimer_;       // the next reply step or queued line
    QTimer* reconnectTimer_;  // the next attempt after a lost connection
    QTimer* silenceTimer_;    // nothing received for a while
    QTimer* nickTimer_;       // asks whether the configured nick is free
    QTimer* loginTimer_;      // the server's part of the account login
    LineBuffer lineBuffer_;
    ConnectionEndProbe endProbe_;
    ChannelOwnership ownership_;
    ServerSupport support_;  // what this connection's server said in its 005 lines
    std::minstd_rand jitter_{std::random_device{}()};
    bool identErrorReported_ = false;
    bool plainLoginReported_ = false;  // "no password over plain TCP", said once
    // This connection's TLS: whether it has it, the fingerprint the
    // profile pins (empty: the system's certificate store decides), and why
    // the bot refused the handshake, when it did.
    bool tls_ = false;
    std::string pin_;
    std::string tlsRefusal_;
    std::optional<SaslExchange> login_;
    bool wantOnline_ = false;  // until "&Offline": lost connections come back
    int failures_ = 0;         // attempts since the last welcome
    std::string lastFailure_;  // the error text of the last failed attempt
    bool pingSent_ = false;    // the silence has been asked about once
    bool lockPending_ = false; // joined the command channel, modes and topic not yet set
    std::string server_;       // host of this connection, for the keep-alive PING
    // This connection's nick: what the server welcomed the bot as (001) and
    // what it renamed itself or was renamed to since; empty before that.
    std::string heldNick_;
    int nickRefusals_ = 0;  // 433 replies during this registration
    // What each partner's client spoke last, and whether this connection's
    // server takes UTF-8 only (its 005 reply said UTF8ONLY).
    PartnerCharsets partnerCharsets_;
    bool utf8Only_ = false;
};

BotRuntime::Impl::Impl(BotRuntime& owner, ProfileContext& context, Random& random, BotPorts ports)
    : ircClient_(new QSslSocket(&owner)),
      identServer_(new IdentServer(
          ports.ident,
          [this] { return Profile().ReadValue("PersonData", "PreName", "Tovik-B0T"); }, &owner)),
      dccServer_(new DCCServer(
          ports.dcc, [this] { return ExpandPersona("<picture>", Profile()); }, &owner)),
      owner_(owner),
      context_(context),
      random_(random),
      sendQueue_([this](std::size_t count) {
          const std::string channel = Profile().ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
          std::string text = "(";
          text += std::to_string(count);
          text += " Meldungen ausgelassen, der Server nimmt nicht mehr an)";
          return SealLine(MakeReport(channel, text));
      }),
      pumpTimer_(new QTimer(&owner)),
      reconnectTimer_(new QTimer(&owner)),
      silenceTimer_(new QTimer(&owner)),
      nickTimer_(new QTimer(&owner)),
      loginTimer_(new QTimer(&owner)) {
    for (QTimer* timer : {pumpTimer_, reconnectTimer_, silenceTimer_, nickTimer_, loginTimer_})
        timer->setSingleShot(true);
    pumpTimer_->setTimerType(Qt::PreciseTimer);
    // Every slot guards itself: no exception may leave an event handler.
    const auto guard = [this](void (Impl::*handler)()) {
        return [this, handler] { Guarded([this, handler] { (this->*handler)(); }); };
    };
    QObject::connect(ircClient_, &QSslSocket::connected, &owner, [this] {
        // A link that stalls in the TLS handshake is given up like a silent one.
        silenceTimer_->start(timings_.silence);
        if (!tls_) Guarded([this] { IRCClientConnect(); });
    });
    QObject::connect(ircClient_, &QSslSocket::encrypted, &owner, guard(&Impl::IRCClientEncrypted));
    QObject::connect(ircClient_, &QSslSocket::sslErrors, &owner,
                     [this](const QList<QSslError>& errors) { Guarded([&] { IRCClientSslErrors(errors); }); });
    QObject::connect(ircClient_, &QSslSocket::readyRead, &owner, guard(&Impl::IRCClientRead));
    QObject::connect(ircClient_, &QSslSocket::errorOccurred, &owner, [this](QAbstractSocket::SocketError error) {
        Guarded([this, error] {
            try {
                IRCClientError(error);
            } catch (const std::exception& failure) {
                ReportAttemptFailure(failure);
            }
        });
    });
    QObject::connect(ircClient_, &QSslSocket::stateChanged, &owner, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState) Guarded([this] { ConnectionEnded(); });
    });
    QObject::connect(pumpTimer_, &QTimer::timeout, &owner, guard(&Impl::Converse));
    QObject::connect(reconnectTimer_, &QTimer::timeout, &owner, guard(&Impl::ConnectAgain));
    QObject::connect(silenceTimer_, &QTimer::timeout, &owner, guard(&Impl::SilenceTimeout));
    QObject::connect(nickTimer_, &QTimer::timeout, &owner, guard(&Impl::CheckNick));
    QObject::connect(loginTimer_, &QTimer::timeout, &owner, [this] {
        Guarded([this] {
            if (login_) ApplyLogin(login_->GiveUp());
        });
    });
    const auto forward = [this](const std::string& text) { emit owner_.ErrorOccurred(text); };
    QObject::connect(identServer_, &IdentServer::ErrorOccurred, &owner, forward);
    QObject::connect(dccServer_, &DCCServer::ErrorOccurred, &owner, forward);
}

BotRuntime::Impl::~Impl() {
    endProbe_.Release();  // so that the socket's close below reaches the server
    // The children outlive this object inside ~QObject; cut them loose first
    // so that no notification during their destruction reaches us.
    for (QObject* child : std::initializer_list<QObject*>{ircClient_, identServer_, dccServer_, pumpTimer_,
                                                         reconnectTimer_, silenceTimer_, nickTimer_, loginTimer_}) {
        child->disconnect();
        delete child;
    }
}

void BotRuntime::Impl::SetTimings(const BotTimings& timings) {
    timings_ = timings;
    sendQueue_.SetPace(timings.pace);
}

// ---- going online and offline ---------------------------------------------

bool BotRuntime::Impl::OnlineButtonClick() {
    // Already online or on the way there: the live session stays.
    if (ircClient_->state() != QAbstractSocket::UnconnectedState) return true;
    wantOnline_ = true;
    failures_ = 0;
    plainLoginReported_ = false;
    try {
        Connect();
    } catch (...) {
        wantOnline_ = false;  // nothing started; the operator has to act
        SetState(BotState::Offline);
        throw;
    }
    return true;
}

// What "&Online" does, and every attempt after a lost connection.
void BotRuntime::Impl::Connect() {
    reconnectTimer_->stop();
    if (ircClient_->state() != QAbstractSocket::UnconnectedState) return;
    const ProfileFile profile = Profile();
    const std::string portText = profile.ReadValue("IRC", "Port", "6667");
    const int port = StrToInt(portText);
    if (port < 1 || port > 65535) throw ConvertError(portText);
    const std::string host = profile.ReadValue("IRC", "Server", kDefaultIrcServer);
    // "+6697": this port speaks TLS (the sign is no part of the number).
    const bool tls = portText.front() == '+';
    const std::string pin = NormalizedFingerprint(profile.ReadValue("IRC", "TLSFingerprint", ""));
    if (tls && !QSslSocket::supportsSsl())
        throw Error("TLS-Fehler: auf diesem System fehlt die TLS-Bibliothek (OpenSSL 3)");

    SwitchIdentOn();
    DiscardSession();
    sendQueue_.Restart();        // a new connection has the whole allowance
    lineBuffer_ = LineBuffer{};  // a tail of the last connection must not start this one's first line
    heldNick_.clear();
    nickRefusals_ = 0;
    // Another connection, perhaps another network: a nick need not name the
    // same person there, and the server announces its rules anew.
    partnerCharsets_.Clear();
    utf8Only_ = false;
    support_.Reset();
    server_ = host;
    SetState(BotState::Connecting);
    tls_ = tls;
    pin_ = pin;
    tlsRefusal_.clear();
    // IPv4, because the DCC offer names the connection's local IPv4 address.
    const QString hostName = QString::fromStdString(Cp1252ToUtf8(host));
    if (!tls) {
        ircClient_->connectToHost(hostName, static_cast<quint16>(port), QIODevice::ReadWrite,
                                  QAbstractSocket::IPv4Protocol);
        return;
    }
    // The certificate is checked against the system's store, host name
    // included; a pinned fingerprint overrides that in IRCClientSslErrors.
    ircClient_->setPeerVerifyMode(QSslSocket::VerifyPeer);
    ircClient_->connectToHostEncrypted(hostName, static_cast<quint16>(port), QIODevice::ReadWrite,
                                       QAbstractSocket::IPv4Protocol);
}

// The next attempt after a lost connection. A setting broken meanwhile (a
// port typed wrong) is reported and tried again later, like a server that
// does not answer: the operator may mend it while the bot waits.
void BotRuntime::Impl::ConnectAgain() {
    try {
        Connect();
    } catch (...) {
        RetryLater();
        throw;
    }
}

void BotRuntime::Impl::SwitchIdentOn() {
    // Listening on port 113 needs privileges a desktop user rarely has. The
    // ident answer only spares the bot a "~" before its user name, so say so
    // once and connect without it.
    try {
        identServer_->SwitchOn();
    } catch (const std::exception& error) {
        if (identErrorReported_) return;
        identErrorReported_ = true;
        ReportError(error);
    }
}

void BotRuntime::Impl::OfflineButtonClick() {
    wantOnline_ = false;
    reconnectTimer_->stop();
    identServer_->SwitchOff();
    endProbe_.Release();  // else the server would never see this close
    ircClient_->abort();  // at once, without QUIT
    DiscardSession();     // replies still being typed go nowhere
    SetState(BotState::Offline);
}

void BotRuntime::Impl::DiscardSession() {
    conversations_.DiscardAll();
    sendQueue_.Clear();
    ownership_.Reset();
    pumpTimer_->stop();
    silenceTimer_->stop();
    nickTimer_->stop();
    loginTimer_->stop();
    login_.reset();
    pingSent_ = false;
    lockPending_ = false;
}

void BotRuntime::Impl::SetState(BotState state, std::chrono::milliseconds nextAttempt) {
    state_ = state;
    emit owner_.StateChanged(state, nextAttempt.count());
}

void BotRuntime::Impl::IRCClientConnect() {
    endProbe_.Watch(static_cast<int>(ircClient_->socketDescriptor()));
    // Lines are few and paced; none should wait for the previous one's
    // acknowledgement.
    ircClient_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    silenceTimer_->start(timings_.silence);
    BeginLogin();
    SendRegistration();
}

// The handshake is done and the certificate accepted: by the system's
// store, or by a pinned fingerprint. A pin overrides a valid certificate too,
// so it is compared here once more.
void BotRuntime::Impl::IRCClientEncrypted() {
    if (!pin_.empty() && !FingerprintMatches(pin_, PeerDigest())) {
        const Error refusal(TlsErrorText(PinRefusal(pin_), PeerDigest()));
        endProbe_.Release();
        ircClient_->abort();
        ReportAttemptFailure(refusal);
        return;
    }
    IRCClientConnect();
}

// The certificate failed the system's checks. With a pin, the fingerprint
// alone decides: these errors, of this certificate, are accepted when it
// matches. Without a pin, or when it does not match, the handshake fails and
// IRCClientError says why; nothing has been sent.
void BotRuntime::Impl::IRCClientSslErrors(const QList<QSslError>& errors) {
    if (pin_.empty()) return;
    if (FingerprintMatches(pin_, PeerDigest())) {
        ircClient_->ignoreSslErrors(errors);
        return;
    }
    tlsRefusal_ = PinRefusal(pin_);
}

std::string BotRuntime::Impl::PeerDigest() const {
    const QSslCertificate certificate = ircClient_->peerCertificate();
    if (certificate.isNull()) return {};
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    return std::string(digest.constData(), static_cast<std::size_t>(digest.size()));
}

bool BotRuntime::Impl::Ready() const {
    return ircClient_->state() == QAbstractSocket::ConnectedState && (!tls_ || ircClient_->isEncrypted());
}

// While the bot tries again by itself, a failure that repeats is shown once,
// not at every attempt for hours.
void BotRuntime::Impl::ReportAttemptFailure(const std::exception& failure) {
    if (failures_ > 0 && lastFailure_ == failure.what()) return;
    lastFailure_ = failure.what();
    ReportError(failure);
}

// With an account in the profile, the registration begins with the
// capability exchange, and the server waits for its end before it
// welcomes the bot. The password goes only over TLS.
void BotRuntime::Impl::BeginLogin() {
    const ProfileFile profile = Profile();
    const std::string account = profile.ReadValue("IRC", "SASLAccount", "");
    if (account.empty()) return;
    if (!tls_) {
        if (plainLoginReported_) return;
        plainLoginReported_ = true;
        emit owner_.ErrorOccurred("SASL-Anmeldung als " + account +
                                  " unterbleibt: das Passwort geht nur \xfc" "ber TLS (Port mit \"+\" davor, etwa +6697)");
        return;
    }
    login_.emplace(account, profile.ReadValue("IRC", "SASLPassword", ""));
    Send(SaslExchange::Begin(), LineClass::Urgent, Charset::Cp1252, {}, Cleaning::AsTyped);
    loginTimer_->start(timings_.login);
}

void BotRuntime::Impl::FollowLogin(const std::string& line) {
    if (login_ && !login_->Finished()) ApplyLogin(login_->Handle(line));
}

void BotRuntime::Impl::ApplyLogin(SaslExchange::Outcome outcome) {
    for (const auto& line : outcome.send) Send(line, LineClass::Urgent, Charset::Cp1252, {}, Cleaning::AsTyped);
    if (outcome.account) emit owner_.LoggedIn(*outcome.account);
    if (login_ && login_->Finished()) loginTimer_->stop();
    if (outcome.failure) emit owner_.ErrorOccurred(*outcome.failure);
}

void BotRuntime::Impl::ConnectionEnded() {
    // Nothing of this session goes into the next.
    endProbe_.Release();
    DiscardSession();
    if (!wantOnline_) return SetState(BotState::Offline);
    RetryLater();
}

void BotRuntime::Impl::RetryLater() {
    // Whatever ended it (the server, a reset, a dead link, a failed
    // attempt), the bot comes back by itself until the operator says
    // "&Offline".
    const double jitter = std::uniform_real_distribution<double>(-1.0, 1.0)(jitter_);
    const auto delay = std::chrono::duration_cast<std::chrono::milliseconds>(
        ReconnectDelay(failures_++, jitter) * timings_.reconnectScale);
    reconnectTimer_->start(delay);
    SetState(BotState::Waiting, delay);
}

void BotRuntime::Impl::SilenceTimeout() {
    if (ircClient_->state() != QAbstractSocket::ConnectedState) return;
    if (!Ready()) {
        // Connected, but the TLS handshake never finished.
        endProbe_.Release();
        ircClient_->abort();
        return;
    }
    // A half-open connection (a sleeping laptop, a forgotten NAT entry) stays
    // silent for ever; ask once, then give the connection up.
    if (!pingSent_) {
        pingSent_ = true;
        Send(MakeRawLine("PING :" + RemoveLineBreaks(server_)), LineClass::Urgent);
        silenceTimer_->start(timings_.silence);
        return;
    }
    endProbe_.Release();
    ircClient_->abort();  // ends in ConnectionEnded, which tries again
}

void BotRuntime::Impl::SendRegistration() {
    const ProfileFile profile = Profile();
    const std::string realName = profile.ReadValue("PersonData", "PreName", "Tovik") + " " +
                                 profile.ReadValue("PersonData", "LastName", "B0T");
    const std::string user = profile.ReadValue("PersonData", "PreName", "Tovik-B0T");
    const std::string nick = ConfiguredNick();
    // Without line breaks in its pieces the login is exactly two lines.
    const std::string login =
        MakeLogin(RemoveLineBreaks(nick), RemoveLineBreaks(user), RemoveLineBreaks(realName));
    const std::size_t split = login.find('\n') + 1;
    Send(login.substr(0, split), LineClass::Urgent);
    Send(login.substr(split), LineClass::Urgent);
}

std::string BotRuntime::Impl::ConfiguredNick() const {
    return Profile().ReadValue("IRC", "BotNick", "[]B0T[]");
}

void BotRuntime::Impl::NickInUse() {
    // The first refusal registers again as before (the old session may just
    // have gone). After that another nick, or the bot would hammer the
    // server at round-trip speed: nick_, then nick2, nick3, ...
    ++nickRefusals_;
    if (nickRefusals_ == 1) return SendRegistration();
    const std::string nick = RemoveLineBreaks(ConfiguredNick());
    const int variation = nickRefusals_ - 1;
    Send(MakeRawLine("NICK " + (variation == 1 ? nick + "_" : nick + std::to_string(variation))),
         LineClass::Urgent);
}

void BotRuntime::Impl::FollowNicks(const std::string& line, const std::string& command) {
    if (command == "001") heldNick_ = GetTarget(line);
    if (heldNick_.empty()) return;
    const std::string configured = ConfiguredNick();
    const bool holdsConfigured = LowerAnsi(heldNick_) == LowerAnsi(configured);
    if (command == "001" || command == "NICK") {
        if (command == "NICK" && LowerAnsi(GetNick(line)) == LowerAnsi(heldNick_)) {
            const std::string to = GetText(line);
            heldNick_ = to.empty() ? GetTarget(line) : to;
        }
        // While someone else holds the configured nick, ask now and then
        // whether it is free; the holder need not share a channel with us.
        if (LowerAnsi(heldNick_) != LowerAnsi(configured)) {
            if (!nickTimer_->isActive()) nickTimer_->start(timings_.nickCheck);
        } else {
            nickTimer_->stop();
        }
    }
    if (holdsConfigured) return;
    // Whoever held the configured nick has given it up: take it back. An
    // ISON reply without the nick says the same.
    const std::string wanted = LowerAnsi(configured);
    const bool holderLeft = (command == "NICK" || command == "QUIT") && LowerAnsi(GetNick(line)) == wanted;
    const bool notOnline =
        command == "303" && LowerAnsi(" " + GetText(line) + " ").find(" " + wanted + " ") == std::string::npos;
    if (holderLeft || notOnline) Send(MakeRawLine("NICK " + RemoveLineBreaks(configured)));
}

void BotRuntime::Impl::CheckNick() {
    if (!Ready() || heldNick_.empty()) return;
    const std::string configured = ConfiguredNick();
    if (LowerAnsi(heldNick_) == LowerAnsi(configured)) return;
    Send(MakeRawLine("ISON " + RemoveLineBreaks(configured)));
    nickTimer_->start(timings_.nickCheck);
}

void BotRuntime::Impl::IRCClientError(QAbstractSocket::SocketError error) {
    // Whatever went wrong, this connection is over: its state is read once
    // and the duplicate goes, so that it holds nothing open.
    const bool reset = endProbe_.WasReset();
    endProbe_.Release();
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        // The server ending the connection is no failure of ours; a reset is
        // (the server crashed, or something between us cut the line).
        if (reset) throw SocketError(ErrnoOf(error));
        return;
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::NetworkError:
        throw SocketError(ErrnoOf(error));
    case QAbstractSocket::HostNotFoundError:
        throw SocketError("Host nicht gefunden", 11001, "ASync Lookup");
    case QAbstractSocket::SslHandshakeFailedError: {
        std::string reason = tlsRefusal_;
        if (reason.empty())
            for (const QSslError& sslError : ircClient_->sslHandshakeErrors()) {
                if (!reason.empty()) reason += "; ";
                reason += Utf8ToCp1252(sslError.errorString().toStdString());
            }
        if (reason.empty()) reason = Utf8ToCp1252(ircClient_->errorString().toStdString());
        throw Error(TlsErrorText(reason, PeerDigest()));
    }
    default:
        throw SocketError(Utf8ToCp1252(ircClient_->errorString().toStdString()), ErrnoOf(error), "connect");
    }
}

// ---- received lines ---------------------------------------------------------

void BotRuntime::Impl::IRCClientRead() {
    const QByteArray bytes = ircClient_->readAll();
    if (!bytes.isEmpty()) {
        // The link is alive.
        pingSent_ = false;
        silenceTimer_->start(timings_.silence);
    }
    lineBuffer_.Append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    std::string failure;
    std::string line;
    while (lineBuffer_.Next(line)) {
        try {
            // Tags carry nothing the bot uses; no parser, report or
            // partner's text ever sees them.
            const std::string_view untagged = WithoutTags(line);
            HandleServerLine(untagged.size() == line.size() ? line : std::string(untagged));
        } catch (const std::exception& error) {
            // One report per read: a broken CharTime fails every line alike.
            if (failure.empty()) failure = error.what();
        }
    }
    Converse();
    if (!failure.empty()) emit owner_.ErrorOccurred(failure);
    // An error box runs its own event loop inside this handler, and the
    // socket does not announce data that arrived meanwhile a second time.
    if (ircClient_->bytesAvailable() > 0)
        QTimer::singleShot(0, &owner_, [this] { Guarded([this] { IRCClientRead(); }); });
}

void BotRuntime::Impl::HandleServerLine(const std::string& line) {
    emit owner_.LineReceived(line);
    // A PING is answered here and now, whatever replies are being typed and
    // before any setting is read: a typo in the typing speed must not let
    // the server drop the bot.
    if (IsPing(line)) Send(MakePong(line), LineClass::Urgent);
    FollowLogin(line);

    const ProfileFile profile = Profile();
    const int charTime = StrToInt(profile.ReadValue("General", "CharTime", "500"));
    const std::string channel = profile.ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
    const std::string botNick = profile.ReadValue("IRC", "BotNick", "Tovik-B0T");

    // Independent tests: more than one may act on a line.
    const std::string command = GetCommand(line);
    if (command == "001") {
        failures_ = 0;  // welcomed: the next loss starts the back-off over
        lastFailure_.clear();
        SetState(BotState::Online);
    }
    if (command == "433" && heldNick_.empty()) NickInUse();
    const IrcMessage message = ParseMessage(line);
    support_.Follow(message);
    if (command == "005")
        if (const auto utf8Only = Utf8OnlyAnnouncement(line)) utf8Only_ = *utf8Only;
    FollowNicks(line, command);
    if (command == "376" || command == "422") JoinCommandChannel(channel);
    const std::string ownNick = heldNick_.empty() ? botNick : heldNick_;
    if (const auto problem = ownership_.Follow(message, channel, ownNick, support_).text)
        emit owner_.ErrorOccurred(*problem);
    if (lockPending_ && ownership_.Owns(channel)) LockCommandChannel(channel, botNick);
    if (command == "PRIVMSG") RoutePrivateMessage(line, channel, botNick, charTime);
}

void BotRuntime::Impl::JoinCommandChannel(const std::string& channel) {
    identServer_->SwitchOff();  // registration is over; nobody asks any more
    Send(MakeJoin(channel));
    lockPending_ = true;
}

// Once the server has shown the bot as the channel's operator: modes and
// topic. In a channel someone else holds they would tell that person what
// the bot is.
void BotRuntime::Impl::LockCommandChannel(const std::string& channel, const std::string& botNick) {
    lockPending_ = false;
    Send(MakeMode(channel, "+nt", ""));
    Send(MakeMode(channel, "+msi", ""));
    const Charset charset = DefaultCharset();
    Send(MakeTopic(channel, Encode("--] " + botNick + "'s Kommando Channel [----] " + std::string(kCreditLine) +
                                       " [--",
                                   charset)),
         LineClass::Normal, charset);
}

void BotRuntime::Impl::RoutePrivateMessage(const std::string& line, const std::string& channel,
                                           const std::string& botNick, int charTime) {
    const std::string target = LowerAnsi(GetTarget(line));
    if (target == LowerAnsi(channel) && ownership_.Owns(channel)) {
        // Whoever may speak in the command channel commands the bot, but
        // only in a channel the bot holds.
        const auto send = [this](const std::string& out, Charset charset) { Send(out, LineClass::Normal, charset); };
        const CommandCharsets charsets{DefaultCharset(), [this](std::string_view to) { return CharsetFor(to); }};
        if (RunRemoteCommand(RemoteCommand::FromLine(line), channel, denyList_, send, charsets)) DenyListChanged();
    }
    // Messages to the nick the bot holds count, and to the configured one.
    if (target == LowerAnsi(botNick) || (!heldNick_.empty() && target == LowerAnsi(heldNick_))) {
        std::string text = GetText(line);
        if (!text.empty() && text.front() == '\x01') return;  // CTCP requests are only logged
        // The partner's client shows in what it sends; the conversation
        // engine reads the text as Windows-1252 whatever it came in.
        ReceivedText received = ReadReceived(text);
        std::string sender = GetNick(line);
        partnerCharsets_.Tell(sender, received.encoding);
        PrivateMessage message{std::move(sender), std::move(received.cp1252), channel, charTime, std::move(text),
                               received.encoding};
        // Over a bound: reported only.
        if (!conversations_.Add(std::move(message), Clock::now())) ReportIncoming(message);
        for (const PrivateMessage& givenUp : conversations_.TakeGivenUp()) ReportIncoming(givenUp);
    }
}

// ---- answering private messages --------------------------------------------

// The command channel and the server hear the profile's charset, so that the
// operator's client sees one encoding in the reports, whoever wrote what.
Charset BotRuntime::Impl::DefaultCharset() const {
    if (utf8Only_) return Charset::Utf8;
    return CharsetFromSetting(Profile().ReadValue("IRC", kCharsetKey, kDefaultCharset));
}

// A partner is answered in what his client spoke last; anyone else (a
// channel, a partner who wrote only ASCII so far) in the default.
Charset BotRuntime::Impl::CharsetFor(std::string_view target) const {
    if (utf8Only_) return Charset::Utf8;
    if (const auto known = partnerCharsets_.Of(target)) return *known;
    return DefaultCharset();
}

void BotRuntime::Impl::ReportIncoming(const PrivateMessage& message) {
    if (!ownership_.Owns(message.channel)) return;
    const Charset charset = DefaultCharset();
    Send(MakeReport(message.channel, "<-- " + Transcode(message.sender, charset) + ": " +
                                         Transcode(message.said, message.encoding, charset)),
         LineClass::Report, charset);
}

std::vector<std::string> BotRuntime::Impl::AnswerPrivateMessage(const PrivateMessage& message) {
    ReportIncoming(message);
    if (denyList_.IsDenied(ReadReceived(message.sender).cp1252)) return {};
    std::string reply;
    try {
        BotPhotoOffer photo(*ircClient_, *dccServer_);
        reply = BuildReply(message.text, Profile(), random_, photo);
    } catch (const std::exception& error) {
        ReportError(error);  // picture missing, DCC port busy: the report stands, nothing is answered
        return {};
    }
    std::vector<std::string> lines;
    const int count = ReplyLineCount(reply);
    for (int k = 1; k <= count; ++k) lines.push_back(ReplyLine(reply, k));
    return lines;
}

// Every conversation takes its due step: a message whose answering begins,
// or a reply line whose typing time is up. A line counts as typed out when
// the send queue lets it go; only then does the partner's next line start.
void BotRuntime::Impl::Converse() {
    // A flood of due steps must not hold the event loop; the rest follows
    // in the next turn.
    constexpr int kStepsPerTurn = 256;
    WriteDue();
    for (int steps = 0; steps < kStepsPerTurn; ++steps) {
        auto step = conversations_.TakeDue(Clock::now());
        if (!step) break;
        const PrivateMessage& message = step->message;
        if (step->kind == Conversations::Step::Kind::Begin) {
            conversations_.Begun(*step, AnswerPrivateMessage(message), Clock::now());
            continue;
        }
        if (ownership_.Owns(message.channel)) {
            const Charset own = DefaultCharset();
            Send(MakeReport(message.channel, "--> " + Transcode(message.sender, own) + ": " + Encode(step->line, own)),
                 LineClass::Report, own);
        }
        // The sender's nick goes back as the server spelt it; only the text
        // is the partner's charset.
        const Charset charset = CharsetFor(message.sender);
        // A line that cannot go out (the connection is gone) is done all the same.
        if (!Send(MakePrivMsg(message.sender, Encode(step->line, charset)), LineClass::Normal, charset, step->partner))
            conversations_.LineLeft(step->partner, Clock::now());
    }
    ArmPumpTimer();
    if (Ready()) ircClient_->flush();
}

// ---- the operator's lines and the one send point ---------------------------

void BotRuntime::Impl::SendEditKeyPress(const std::string& text) {
    const std::string channel = Profile().ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
    if (const auto line = ConsoleCommandLine(text, channel)) Send(*line);
}

void BotRuntime::Impl::ServerSendEditKeyPress(const std::string& text) {
    // The operator's own line goes out as typed; a QUIT of theirs goes first.
    const bool quit = RawCommandOf(text) == "quit";
    Send(MakeRawLine(text), quit ? LineClass::Urgent : LineClass::Normal, Charset::Cp1252, {}, Cleaning::AsTyped);
}

bool BotRuntime::Impl::Send(const std::string& line, LineClass lineClass, Charset charset, std::string partner,
                            Cleaning cleaning) {
    // Before the connection stands or after it is gone nothing is sent, and
    // nothing is reported: a reply typed out after "Offline" just vanishes.
    if (!Ready()) return false;
    sendQueue_.Push(Clock::now(), cleaning == Cleaning::Seal ? SealLine(line, charset) : line, lineClass, std::move(partner));
    WriteDue();
    ArmPumpTimer();
    return true;
}

// Hands what the queue lets go now to the socket, in one piece. Converse
// flushes at the end of each turn, so that an answer is on its way in the
// same event-loop turn as its question, in as few segments as possible.
void BotRuntime::Impl::WriteDue() {
    const auto now = Clock::now();
    const auto departures = sendQueue_.TakeDue(now);
    if (departures.empty()) return;
    std::string bytes;
    for (const auto& departure : departures) bytes += departure.line;
    if (Ready())
        ircClient_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    for (const auto& departure : departures)
        if (!departure.partner.empty()) conversations_.LineLeft(departure.partner, now);
}

void BotRuntime::Impl::ArmPumpTimer() {
    const auto now = Clock::now();
    auto next = conversations_.NextWake();
    if (const auto queued = sendQueue_.NextDue(now)) next = next ? std::min(*next, *queued) : *queued;
    if (!next) {
        pumpTimer_->stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
    pumpTimer_->start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
}

// ---- the public face: no exception leaves it -------------------------------

BotRuntime::BotRuntime(ProfileContext& context, Random& random, BotPorts ports, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(*this, context, random, ports)) {}

BotRuntime::~BotRuntime() = default;

bool BotRuntime::OnlineButtonClick() {
    try {
        return impl_->OnlineButtonClick();
    } catch (const std::exception& error) {
        impl_->ReportError(error);
    } catch (...) {
        emit ErrorOccurred("Unbekannter Fehler");
    }
    return false;
}

void BotRuntime::OfflineButtonClick() {
    impl_->Guarded([this] { impl_->OfflineButtonClick(); });
}

void BotRuntime::SetTimings(const BotTimings& timings) { impl_->SetTimings(timings); }

BotState BotRuntime::State() const { return impl_->state_; }

void BotRuntime::SendEditKeyPress(const std::string& text) {
    impl_->Guarded([&] { impl_->SendEditKeyPress(text); });
}

void BotRuntime::ServerSendEditKeyPress(const std::string& text) {
    impl_->Guarded([&] { impl_->ServerSendEditKeyPress(text); });
}

bool BotRuntime::IsDenied(const std::string& nick) const { return impl_->denyList_.IsDenied(nick); }

void BotRuntime::DenyNick(const std::string& nick) {
    impl_->Guarded([&] {
        if (impl_->denyList_.DenyNick(nick)) impl_->DenyListChanged();
    });
}

void BotRuntime::AllowNick(const std::string& nick) {
    impl_->Guarded([&] {
        if (impl_->denyList_.AllowNick(nick)) impl_->DenyListChanged();
    });
}

const std::vector<std::string>& BotRuntime::DenyList() const { return impl_->denyList_.Entries(); }

bool BotRuntime::IsConnected() const { return impl_->Ready(); }

quint16 BotRuntime::IdentPort() const { return impl_->identServer_->Port(); }
quint16 BotRuntime::DccPort() const { return impl_->dccServer_->Port(); }
std::size_t BotRuntime::PendingAnswers() const { return impl_->conversations_.PendingMessages(); }

}  // namespace tovik
