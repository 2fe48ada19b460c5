#include "bot/BotRuntime.h"

#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>
#include <chrono>
#include <exception>

#include "bot/ConnectionEndProbe.h"
#include "bot/Credits.h"
#include "bot/DenyList.h"
#include "bot/OperatorConsole.h"
#include "bot/OutgoingLine.h"
#include "bot/RemoteCommands.h"
#include "bot/Report.h"
#include "bot/ReplyScheduler.h"
#include "chat/Answers.h"
#include "chat/Persona.h"
#include "irc/IRC.h"
#include "irc/LineBuffer.h"
#include "profile/ProfileStore.h"
#include "services/DCCServer.h"
#include "services/IdentServer.h"
#include "services/Listen.h"
#include "text/Cp1252.h"
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

}  // namespace

class BotRuntime::Impl {
public:
    Impl(BotRuntime& owner, ProfileContext& context, Random& random, BotPorts ports);
    ~Impl();

    bool OnlineButtonClick();
    void OfflineButtonClick();
    void SendEditKeyPress(const std::string& text);
    void ServerSendEditKeyPress(const std::string& text);
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

    QTcpSocket* ircClient_;
    IdentServer* identServer_;
    DCCServer* dccServer_;
    tovik::DenyList denyList_;  // qualified: BotRuntime::DenyList() hides the class name
    ReplyScheduler replies_;

private:
    ProfileFile Profile() const { return ProfileFile(context_.ProfilePath()); }

    void IRCClientConnect();
    void IRCClientDisconnect() {
        endProbe_.Release();
        replies_.DiscardAll();  // nothing of this session goes into the next
    }
    void IRCClientRead();
    void IRCClientError(QAbstractSocket::SocketError error);
    void HandleServerLine(const std::string& line);
    void SendRegistration();
    std::string ConfiguredNick() const;
    void NickInUse();
    void FollowNicks(const std::string& line, const std::string& command);
    void SetUpCommandChannel(const std::string& channel, const std::string& botNick);
    void RoutePrivateMessage(const std::string& line, const std::string& channel,
                             const std::string& botNick, int charTime);
    void ReportIncoming(const PrivateMessage& message);
    std::vector<std::string> AnswerPrivateMessage(const PrivateMessage& message);
    void SendReplyLine(const PrivateMessage& message, const std::string& line);
    void PumpReplies();
    void SwitchIdentOn();

    enum class Cleaning { Seal, AsTyped };
    void Send(const std::vector<std::string>& lines, Cleaning cleaning = Cleaning::Seal);
    void Send(const std::string& line) { Send(std::vector<std::string>{line}); }

    BotRuntime& owner_;
    ProfileContext& context_;
    Random& random_;
    QTimer* replyTimer_;
    LineBuffer lineBuffer_;
    ConnectionEndProbe endProbe_;
    bool identErrorReported_ = false;
    // This connection's nick: what the server welcomed the bot as (001) and
    // what it renamed itself or was renamed to since; empty before that.
    std::string heldNick_;
    int nickRefusals_ = 0;  // 433 replies during this registration
};

BotRuntime::Impl::Impl(BotRuntime& owner, ProfileContext& context, Random& random, BotPorts ports)
    : ircClient_(new QTcpSocket(&owner)),
      identServer_(new IdentServer(
          ports.ident,
          [this] { return Profile().ReadValue("PersonData", "PreName", "Tovik-B0T"); }, &owner)),
      dccServer_(new DCCServer(
          ports.dcc, [this] { return ExpandPersona("<picture>", Profile()); }, &owner)),
      replies_({[this](const PrivateMessage& m) { return AnswerPrivateMessage(m); },
                [this](const PrivateMessage& m, const std::string& line) { SendReplyLine(m, line); }}),
      owner_(owner),
      context_(context),
      random_(random),
      replyTimer_(new QTimer(&owner)) {
    replyTimer_->setSingleShot(true);
    replyTimer_->setTimerType(Qt::PreciseTimer);
    // Every slot guards itself: no exception may leave an event handler.
    QObject::connect(ircClient_, &QTcpSocket::connected, &owner, [this] { Guarded([this] { IRCClientConnect(); }); });
    QObject::connect(ircClient_, &QTcpSocket::disconnected, &owner,
                     [this] { Guarded([this] { IRCClientDisconnect(); }); });
    QObject::connect(ircClient_, &QTcpSocket::readyRead, &owner, [this] { Guarded([this] { IRCClientRead(); }); });
    QObject::connect(ircClient_, &QTcpSocket::errorOccurred, &owner, [this](QAbstractSocket::SocketError error) {
        Guarded([this, error] { IRCClientError(error); });
    });
    QObject::connect(replyTimer_, &QTimer::timeout, &owner, [this] { Guarded([this] { PumpReplies(); }); });
    const auto forward = [this](const std::string& text) { emit owner_.ErrorOccurred(text); };
    QObject::connect(identServer_, &IdentServer::ErrorOccurred, &owner, forward);
    QObject::connect(dccServer_, &DCCServer::ErrorOccurred, &owner, forward);
}

BotRuntime::Impl::~Impl() {
    endProbe_.Release();  // so that the socket's close below reaches the server
    // The children outlive this object inside ~QObject; cut them loose first
    // so that no notification during their destruction reaches us.
    for (QObject* child : std::initializer_list<QObject*>{ircClient_, identServer_, dccServer_, replyTimer_}) {
        child->disconnect();
        delete child;
    }
}

// ---- going online and offline ---------------------------------------------

bool BotRuntime::Impl::OnlineButtonClick() {
    // Already online or on the way there: the live session stays.
    if (ircClient_->state() != QAbstractSocket::UnconnectedState) return true;
    const ProfileFile profile = Profile();
    const std::string portText = profile.ReadValue("IRC", "Port", "6667");
    const int port = StrToInt(portText);
    if (port < 1 || port > 65535) throw ConvertError(portText);
    const std::string host = profile.ReadValue("IRC", "Server", kDefaultIrcServer);

    SwitchIdentOn();
    endProbe_.Release();  // else the old connection would stay open on the server's side
    ircClient_->abort();
    lineBuffer_ = LineBuffer{};  // a tail of the last connection must not start this one's first line
    replies_.DiscardAll();       // nor may its replies go out on this one
    heldNick_.clear();
    nickRefusals_ = 0;
    // IPv4, because the DCC offer names the connection's local IPv4 address.
    ircClient_->connectToHost(QString::fromStdString(Cp1252ToUtf8(host)), static_cast<quint16>(port),
                              QIODevice::ReadWrite, QAbstractSocket::IPv4Protocol);
    return true;
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
    identServer_->SwitchOff();
    endProbe_.Release();  // else the server would never see this close
    ircClient_->abort();  // at once, without QUIT
    replies_.DiscardAll();  // replies still being typed go nowhere
    replyTimer_->stop();
}

void BotRuntime::Impl::IRCClientConnect() {
    endProbe_.Watch(static_cast<int>(ircClient_->socketDescriptor()));
    SendRegistration();
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
    Send({login.substr(0, split), login.substr(split)});
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
    Send(MakeRawLine("NICK " + (variation == 1 ? nick + "_" : nick + std::to_string(variation))));
}

void BotRuntime::Impl::FollowNicks(const std::string& line, const std::string& command) {
    if (command == "001") heldNick_ = GetTarget(line);
    if (heldNick_.empty() || (command != "NICK" && command != "QUIT")) return;
    const std::string from = LowerAnsi(GetNick(line));
    if (command == "NICK" && from == LowerAnsi(heldNick_)) {
        const std::string to = GetText(line);
        heldNick_ = to.empty() ? GetTarget(line) : to;
        return;
    }
    // Whoever held the configured nick has given it up: take it back.
    const std::string configured = ConfiguredNick();
    if (from == LowerAnsi(configured) && LowerAnsi(heldNick_) != from)
        Send(MakeRawLine("NICK " + RemoveLineBreaks(configured)));
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
    default:
        throw SocketError(Utf8ToCp1252(ircClient_->errorString().toStdString()), ErrnoOf(error), "connect");
    }
}

// ---- received lines ---------------------------------------------------------

void BotRuntime::Impl::IRCClientRead() {
    const QByteArray bytes = ircClient_->readAll();
    lineBuffer_.Append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    // The private messages of one read form one frame: answered in order,
    // before any reply that was being typed when they arrived goes on.
    replies_.BeginRead();
    std::string failure;
    std::string line;
    while (lineBuffer_.Next(line)) {
        try {
            HandleServerLine(line);
        } catch (const std::exception& error) {
            // One report per read: a broken CharTime fails every line alike.
            if (failure.empty()) failure = error.what();
        }
    }
    replies_.EndRead();
    PumpReplies();
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
    if (IsPing(line)) Send(MakePong(line));

    const ProfileFile profile = Profile();
    const int charTime = StrToInt(profile.ReadValue("General", "CharTime", "500"));
    const std::string channel = profile.ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
    const std::string botNick = profile.ReadValue("IRC", "BotNick", "Tovik-B0T");

    // Independent tests: more than one may act on a line.
    const std::string command = GetCommand(line);
    if (command == "433" && heldNick_.empty()) NickInUse();
    FollowNicks(line, command);
    if (command == "376" || command == "422") SetUpCommandChannel(channel, botNick);
    if (command == "PRIVMSG") RoutePrivateMessage(line, channel, botNick, charTime);
}

void BotRuntime::Impl::SetUpCommandChannel(const std::string& channel, const std::string& botNick) {
    identServer_->SwitchOff();  // registration is over; nobody asks any more
    Send(MakeJoin(channel));
    Send(MakeMode(channel, "+nt", ""));
    Send(MakeMode(channel, "+msi", ""));
    Send(MakeTopic(channel, "--] " + botNick + "'s Kommando Channel [----] " + std::string(kCreditLine) +
                                " [--"));
}

void BotRuntime::Impl::RoutePrivateMessage(const std::string& line, const std::string& channel,
                                           const std::string& botNick, int charTime) {
    const std::string target = LowerAnsi(GetTarget(line));
    if (target == LowerAnsi(channel)) {
        // Whoever may speak in the command channel commands the bot.
        const auto send = [this](const std::string& out) { Send(out); };
        if (RunRemoteCommand(RemoteCommand::FromLine(line), channel, denyList_, send)) DenyListChanged();
    }
    // Messages to the nick the bot holds count, and to the configured one.
    if (target == LowerAnsi(botNick) || (!heldNick_.empty() && target == LowerAnsi(heldNick_))) {
        std::string text = GetText(line);
        if (!text.empty() && text.front() == '\x01') return;  // CTCP requests are only logged
        PrivateMessage message{GetNick(line), std::move(text), channel, charTime};
        if (!replies_.Add(std::move(message))) ReportIncoming(message);  // over the bound: reported only
    }
}

// ---- answering private messages --------------------------------------------

void BotRuntime::Impl::ReportIncoming(const PrivateMessage& message) {
    Send(MakeReport(message.channel, "<-- " + message.sender + ": " + message.text));
}

std::vector<std::string> BotRuntime::Impl::AnswerPrivateMessage(const PrivateMessage& message) {
    ReportIncoming(message);
    if (denyList_.IsDenied(message.sender)) return {};
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

void BotRuntime::Impl::SendReplyLine(const PrivateMessage& message, const std::string& line) {
    Send(MakeReport(message.channel, "--> " + message.sender + ": " + line));
    Send(MakePrivMsg(message.sender, line));
}

void BotRuntime::Impl::PumpReplies() {
    const auto next = replies_.Run();
    if (!next) {
        replyTimer_->stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - ReplyScheduler::Clock::now());
    replyTimer_->start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
}

// ---- the operator's lines and the one send point ---------------------------

void BotRuntime::Impl::SendEditKeyPress(const std::string& text) {
    const std::string channel = Profile().ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
    if (const auto line = ConsoleCommandLine(text, channel)) Send(*line);
}

void BotRuntime::Impl::ServerSendEditKeyPress(const std::string& text) {
    Send({MakeRawLine(text)}, Cleaning::AsTyped);  // the operator's own line goes out as typed
}

void BotRuntime::Impl::Send(const std::vector<std::string>& lines, Cleaning cleaning) {
    std::string bytes;
    for (const std::string& line : lines) bytes += cleaning == Cleaning::Seal ? SealLine(line) : line;
    // Before the connection stands or after it is gone nothing is sent, and
    // nothing is reported: a reply typed out after "Offline" just vanishes.
    if (ircClient_->state() != QAbstractSocket::ConnectedState) return;
    ircClient_->write(bytes.data(), static_cast<qint64>(bytes.size()));
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

bool BotRuntime::IsConnected() const {
    return impl_->ircClient_->state() == QAbstractSocket::ConnectedState;
}

quint16 BotRuntime::IdentPort() const { return impl_->identServer_->Port(); }
quint16 BotRuntime::DccPort() const { return impl_->dccServer_->Port(); }
std::size_t BotRuntime::PendingAnswers() const { return impl_->replies_.PendingMessages(); }

}  // namespace tovik
