#include "bot/BotRuntime.h"

#include <QTimer>
#include <exception>
#include <optional>

#include "bot/OperatorConsole.h"
#include "bot/answering/Answering.h"
#include "bot/channel/CommandChannel.h"
#include "bot/channel/DenyList.h"
#include "bot/link/IrcLink.h"
#include "bot/link/OutgoingLine.h"
#include "bot/photo/PhotoReach.h"
#include "bot/login/Registration.h"
#include "bot/session/Charset.h"
#include "bot/session/Identity.h"
#include "bot/session/OwnHost.h"
#include "bot/session/ServerSupport.h"
#include "bot/session/ServerTime.h"
#include "chat/Persona.h"
#include "irc/IRC.h"
#include "irc/Message.h"
#include "profile/ProfileStore.h"
#include "services/DCCServer.h"
#include "services/IdentServer.h"
#include "services/PortMapper.h"
#include "text/Cp1252.h"
#include "text/Errors.h"
#include "text/Literal.h"

namespace tovik {

using namespace literals;

namespace {

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

    void OnlineButtonClick();
    void OfflineButtonClick();
    void SendEditKeyPress(const std::string& text);
    void ServerSendEditKeyPress(const std::string& text);
    void SetTimings(const BotTimings& timings);
    void DenyListChanged() { emit owner_.DenyListChanged(denyList_.Entries()); }
    void Tell(const std::string& text) { emit owner_.ErrorOccurred(text); }
    template <typename F>
    void Guarded(F&& f) {
        try {
            f();
        } catch (const std::exception& error) {
            Tell(error.what());
        } catch (...) {
            Tell("Unbekannter Fehler");
        }
    }

    BotRuntime& owner_;
    ProfileContext& context_;
    Random& random_;
    BotTimings timings_;
    IdentServer* identServer_;
    DCCServer* dccServer_;
    IrcLink* link_;
    PhotoReach photo_;
    tovik::DenyList denyList_;  // qualified: BotRuntime::DenyList() hides the class name
    ServerSupport support_;
    ReconnectPolicy policy_;
    CommandChannel channel_;
    Answering answering_;
    Registration registration_;

private:
    // The profile as it stands now. The lines of one read and the answers
    // they begin share one look at it: a line reads several values, each of
    // which would otherwise cost a look of its own on the way to an answer.
    ProfileFile Profile() const {
        std::string path = context_.ProfilePath();
        if (readProfile_ && readProfile_->Path() == path) return *readProfile_;
        return ProfileFile(std::move(path));
    }

    // Each attempt, and what the link tells.
    void Connect();
    void Established();
    void Ended();

    // Received lines, in the fixed order of their handling.
    void LineArrived(const std::string& line);
    void Log(const IrcMessage& message, const std::string& line);
    void LogHeldLines();
    void HandleServerLine(const IrcMessage& message, const std::string& line);
    void FollowNicks(const IrcMessage& message, const std::string& configured);
    void ToAnswering(const IrcMessage& message, const std::string& channel, const std::string& botNick, int charTime,
                     bool playback);
    void FollowPartners(const IrcMessage& message);
    void CheckNick();

    // The server's policy asks for TLS: the next attempt goes there, at once.
    void UpgradeToTls();

    // The charset of the command channel's lines and of lines to the server.
    Charset OwnCharset() const;

    // The one send point: every line is sealed here (no CR, LF or NUL
    // inside, at most 512 bytes) unless it goes out as the operator typed
    // it or as the login built it. `destination`: the channel the line is
    // said in, for the command channel's gate.
    enum class Cleaning { Seal, AsTyped };
    bool Send(const std::string& line, LineClass lineClass = LineClass::Normal, Charset charset = Charset::Cp1252,
              std::string partner = {}, Cleaning cleaning = Cleaning::Seal, std::string destination = {});

    Identity identity_{support_};
    ServerClock clock_;
    OwnHost ownHost_;
    QTimer nickTimer_;  // asks whether the configured nick is free
    bool redirect_ = false;    // this connection ends for an upgrade to TLS
    bool clockAsked_ = false;  // this connection's PING for the server's clock went out
    std::string lineFailure_;  // the first failure among one read's lines
    std::optional<ProfileFile> readProfile_;  // pinned while one read's lines are handled
    std::vector<std::string> unlogged_;       // this read's lines from a private message on
};

BotRuntime::Impl::Impl(BotRuntime& owner, ProfileContext& context, Random& random, BotPorts ports)
    : owner_(owner),
      context_(context),
      random_(random),
      identServer_(new IdentServer(
          ports.ident, [this] { return Profile().ReadValue("PersonData", "PreName", "Tovik-B0T"); }, &owner)),
      dccServer_(new DCCServer(
          ports.dcc, [this] { return ExpandPersona("<picture>", Profile()); }, &owner)),
      link_(new IrcLink(&owner)),
      photo_(context, *dccServer_, ports.dcc, [this](const std::string& text) { Tell(text); }, MakeRouterProtocol),
      policy_(*identServer_,
              {[this] { Connect(); },
               [this](BotState state, std::chrono::milliseconds next) { emit owner_.StateChanged(state, next.count()); },
               [this](const std::string& text) { Tell(text); }}),
      channel_(denyList_,
               {[this](const std::string& line, LineClass lineClass, Charset charset, const std::string& destination) {
                    Send(line, lineClass, charset, {}, Cleaning::Seal, destination);
                },
                [this] { return OwnCharset(); }, [this](std::string_view to) { return answering_.CharsetFor(to); },
                [this](const std::string& text) { Tell(text); }, [this] { DenyListChanged(); }}),
      answering_(random, denyList_, support_,
                 {[this](const std::string& line, LineClass lineClass, Charset charset, std::string partner) {
                      return Send(line, lineClass, charset, std::move(partner));
                  },
                  [this](const std::string& channel, const std::string& line, Charset charset) {
                      if (!link_->Ready()) return;
                      channel_.Report(channel, SealLine(line, charset));
                      link_->Fed();
                  },
                  [this](const std::string& partner, const std::function<bool(std::string&)>& revise) {
                      link_->Revise(partner, revise);
                  },
                  [this] { return OwnCharset(); }, [this] { return Profile(); },
                  // Where the bot stands is asked only by an answer that offers the photo.
                  [this] {
                      return photo_.Offer([this] {
                          return PhotoReach::Link{link_->LocalAddress(), link_->PeerAddress(), ownHost_.Address()};
                      });
                  },
                  [this](const std::exception& error) { Tell(error.what()); }, [this] { link_->Flush(); }}),
      registration_(context,
                    {[this](const std::string& line) {
                         Send(line, LineClass::Urgent, Charset::Cp1252, {}, Cleaning::AsTyped);
                     },
                     [this](const std::string& account) { emit owner_.LoggedIn(account); },
                     [this](const std::string& text) { Tell(text); },
                     [this](std::uint16_t) { UpgradeToTls(); }}) {
    // Whatever is said in a channel passes the command channel's gate, and
    // its reports come from it only when one may leave.
    link_->SetGate([this](std::string_view channel) { return channel_.MaySay(channel); });
    link_->SetFeed(&channel_.Reports());
    SetTimings(timings_);
    nickTimer_.setSingleShot(true);
    // Every slot guards itself: no exception may leave an event handler.
    QObject::connect(link_, &IrcLink::Established, &owner, [this] { Guarded([this] { Established(); }); });
    QObject::connect(link_, &IrcLink::LineArrived, &owner, [this](const std::string& line) { LineArrived(line); });
    QObject::connect(link_, &IrcLink::ReadFinished, &owner, [this] {
        Guarded([this] { answering_.Converse(); });
        readProfile_.reset();
        Guarded([this] { LogHeldLines(); });
        // One report per read: a broken CharTime fails every line alike.
        if (!lineFailure_.empty()) Tell(std::exchange(lineFailure_, {}));
    });
    QObject::connect(link_, &IrcLink::LineLeft, &owner,
                     [this](const std::string& partner) { Guarded([&] { answering_.LineLeft(partner); }); });
    QObject::connect(link_, &IrcLink::Failed, &owner, [this](const std::string& text) { policy_.Failed(text); });
    QObject::connect(link_, &IrcLink::Ended, &owner, [this] { Guarded([this] { Ended(); }); });
    QObject::connect(&nickTimer_, &QTimer::timeout, &owner, [this] { Guarded([this] { CheckNick(); }); });
    QObject::connect(identServer_, &IdentServer::ErrorOccurred, &owner, [this](const std::string& t) { Tell(t); });
    QObject::connect(dccServer_, &DCCServer::ErrorOccurred, &owner, [this](const std::string& t) { Tell(t); });
}

BotRuntime::Impl::~Impl() {
    // The children outlive this object inside ~QObject; cut them loose first
    // so that no notification during their destruction reaches us.
    for (QObject* child : std::initializer_list<QObject*>{link_, identServer_, dccServer_}) {
        child->disconnect();
        delete child;
    }
}

void BotRuntime::Impl::SetTimings(const BotTimings& timings) {
    timings_ = timings;
    link_->SetPace(timings.pace);
    link_->SetSilence(timings.silence);
    policy_.SetScale(timings.reconnectScale);
    answering_.SetPace(timings.pace);
    registration_.SetTimeout(timings.login);
}

// ---- going online and offline ---------------------------------------------

void BotRuntime::Impl::OnlineButtonClick() {
    // Already online or on the way there: the live session stays.
    if (!link_->Idle()) return;
    registration_.Restart();
    policy_.GoOnline();
}

// What "&Online" does, and every attempt after a lost connection.
void BotRuntime::Impl::Connect() {
    if (!link_->Idle()) return;
    const LinkTarget target = registration_.NextTarget();
    policy_.Attempting();
    link_->Open(target);
}

void BotRuntime::Impl::OfflineButtonClick() {
    policy_.GoOffline();
    link_->Abort();  // at once, without QUIT
}

void BotRuntime::Impl::Established() {
    const LinkTarget& target = link_->Target();
    if (registration_.SecuredBySts()) emit owner_.SecuredBySts(target.port);
    registration_.Begin(target.host, target.port,
                        LinkFacts{target.tls, link_->PeerIsLoopback(), link_->ShowedCertificate()});
    photo_.Connected();
}

void BotRuntime::Impl::UpgradeToTls() {
    if (link_->Tls()) return;
    redirect_ = true;
    link_->Abort();
}

void BotRuntime::Impl::Ended() {
    // Nothing of this connection goes into the next: replies still being
    // typed go nowhere. The next may be another network, where a nick need
    // not name the same person, and whose server announces its rules anew.
    readProfile_.reset();
    answering_.Discard();
    answering_.ForgetPartners();
    channel_.Reset();
    identity_.Reset();
    clock_.Reset();
    clockAsked_ = false;
    ownHost_.Reset();
    photo_.Disconnected();
    support_.Reset();
    nickTimer_.stop();
    registration_.End();
    if (std::exchange(redirect_, false)) return policy_.Redirected();
    policy_.Ended();
}

// ---- received lines ---------------------------------------------------------

void BotRuntime::Impl::LineArrived(const std::string& line) {
    try {
        if (!readProfile_) readProfile_ = ProfileFile(context_.ProfilePath()).Pinned();
        const IrcMessage message = ParseMessage(line);
        // Tags carry nothing the log, a report or a partner's text shows.
        const std::string_view untagged = WithoutTags(line);
        HandleServerLine(message, untagged.size() == line.size() ? line : std::string(untagged));
    } catch (const std::exception& error) {
        if (lineFailure_.empty()) lineFailure_ = error.what();
    }
}

// A private message is answered before the log hears of it, and so is every
// line after it in the same read, so that the log keeps the order in which
// the lines came while the partner does not wait for the log.
void BotRuntime::Impl::Log(const IrcMessage& message, const std::string& line) {
    if (unlogged_.empty() && (message.command != "PRIVMSG" || support_.IsChannel(message.Param(0)))) {
        emit owner_.LineReceived(line);
        return;
    }
    unlogged_.push_back(line);
}

void BotRuntime::Impl::LogHeldLines() {
    for (const std::string& line : std::exchange(unlogged_, {})) emit owner_.LineReceived(line);
}

void BotRuntime::Impl::HandleServerLine(const IrcMessage& message, const std::string& line) {
    Log(message, line);
    const std::string& command = message.command;
    // A PING is answered here and now, whatever replies are being typed and
    // before any setting is read: a typo in the typing speed must not let
    // the server drop the bot. "PING :abc123" gets "PONG abc123".
    if (command == "PING" && message.prefix.empty()) Send(MakeRawLine("PONG " + message.Last()), LineClass::Urgent);
    registration_.Follow(message);
    if (!link_->Ready()) return;  // the server's policy sent the bot to TLS
    const auto now = std::chrono::system_clock::now();
    const bool stamps = registration_.Enabled("server-time");
    clock_.Follow(message, now, stamps);

    const ProfileFile profile = Profile();
    const int charTime = StrToInt(profile.ReadValue("General", "CharTime", "500"));
    const std::string channel = profile.ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
    const std::string botNick = KnownNick(profile);
    // Who sent it, as the bot knew itself before this line.
    const bool fromSelf = identity_.IsMe(message.Nick(), botNick);
    // A bouncer replays what was said while it was alone: news to the
    // operator, but no person answers hours late, and no command is carried
    // out again.
    if ((command == "PRIVMSG" || command == "NOTICE") && clock_.IsPlayback(message, now, stamps)) {
        if (!fromSelf) ToAnswering(message, channel, botNick, charTime, true);
        return;
    }

    // Independent tests: more than one may act on a line.
    if (command == "001") {
        policy_.Welcomed();
        // The stamped PONG tells how the server's clock stands to ours.
        if (stamps && !std::exchange(clockAsked_, true)) Send(MakeRawLine("PING :" + link_->Target().host));
    }
    support_.Follow(message);
    if (identity_.Concerns(message)) FollowNicks(message, ConfiguredNick(profile));
    if (!link_->Ready()) return;  // the nick keeper gave this connection up
    // What the server relays changes with its capabilities and its 005.
    if (command == "CAP" || command == "005")
        answering_.SetTypingAllowed(registration_.Enabled("message-tags") && support_.AllowsClientTag("typing"));
    const std::string self(identity_.Self(botNick));
    ownHost_.Follow(message, self, support_.Mapping());
    if (command == "376" || command == "422") {
        policy_.RegistrationOver();
        channel_.Join(channel);
        // How the server sees the bot, for the photo offer, when its welcome did not say.
        if (ownHost_.Address().empty() && photo_.WantsServerView()) Send(OwnHost::Ask(self));
    }
    channel_.Follow(message, channel, self, botNick, support_, fromSelf);
    // What the bot said itself comes back only as an echo: logged, never
    // answered, never a partner's.
    if (fromSelf) return;
    FollowPartners(message);
    ToAnswering(message, channel, botNick, charTime, false);
}

// A private message from someone else to the bot goes to the answering.
void BotRuntime::Impl::ToAnswering(const IrcMessage& message, const std::string& channel,
                                   const std::string& botNick, int charTime, bool playback) {
    if (message.command != "PRIVMSG" || !identity_.AddressedToMe(message.Param(0), botNick)) return;
    answering_.Route(message, channel, charTime, playback);
}

void BotRuntime::Impl::FollowNicks(const IrcMessage& message, const std::string& configured) {
    const Identity::Outcome identity = identity_.Follow(message, configured);
    // Whatever waited for the one who held the bot's new nick before is
    // the bot's own now: it must not reach the bot.
    if (identity.took) answering_.Quit(*identity.took);
    const NickKeeper::Outcome& outcome = identity.nicks;
    if (outcome.registerAgain) registration_.SendNickAndUser();
    for (const auto& [line, lineClass] : outcome.send) Send(line, lineClass);
    if (!outcome.checkTimer) nickTimer_.stop();
    else if (!nickTimer_.isActive()) nickTimer_.start(timings_.nickCheck);
    // A nick given up on is a failed attempt: told once, however often the
    // bot comes back with it.
    if (outcome.told) outcome.giveUp ? policy_.Failed(*outcome.told) : Tell(*outcome.told);
    if (outcome.giveUp) link_->Abort();  // and the policy tries again later
}

void BotRuntime::Impl::CheckNick() {
    if (!link_->Ready()) return;
    if (const auto ison = identity_.Check(ConfiguredNick(Profile()))) {
        Send(*ison);
        nickTimer_.start(timings_.nickCheck);
    }
}

// Partners who rename themselves or leave, seen wherever the bot shares a
// channel with them (a QUIT names no channel).
void BotRuntime::Impl::FollowPartners(const IrcMessage& message) {
    if (message.command != "NICK" && message.command != "QUIT") return;
    const std::string nick = message.Nick();
    if (nick.empty()) return;
    if (message.command == "NICK" && !message.Last().empty()) answering_.Renamed(nick, message.Last());
    if (message.command == "QUIT") answering_.Quit(nick);
}

// ---- the one send point -------------------------------------------------------

// The command channel and the server hear the profile's charset, so that the
// operator's client sees one encoding in the reports, whoever wrote what.
Charset BotRuntime::Impl::OwnCharset() const {
    if (support_.Utf8Only()) return Charset::Utf8;
    return CharsetFromSetting(Profile().ReadValue("IRC", kCharsetKey, kDefaultCharset));
}

void BotRuntime::Impl::SendEditKeyPress(const std::string& text) {
    const std::string channel = Profile().ReadValue("IRC", "CommandoChannel", "#Tovik-B0T");
    // Whom the operator asks in may come in: the door stays the bot's.
    if (const auto line = ConsoleCommandLine(text, channel); line && Send(*line))
        if (const auto invitee = ConsoleInvitee(text)) channel_.Invited(*invitee);
    link_->Flush();
}

void BotRuntime::Impl::ServerSendEditKeyPress(const std::string& text) {
    // The operator's own line goes out as typed; a QUIT of theirs goes first.
    const bool quit = RawCommandOf(text) == "quit";
    Send(MakeRawLine(text), quit ? LineClass::Urgent : LineClass::Normal, Charset::Cp1252, {}, Cleaning::AsTyped);
    link_->Flush();
}

bool BotRuntime::Impl::Send(const std::string& line, LineClass lineClass, Charset charset, std::string partner,
                            Cleaning cleaning, std::string destination) {
    return link_->Send(cleaning == Cleaning::Seal ? SealLine(line, charset) : line, lineClass, std::move(partner),
                       std::move(destination));
}

// ---- the public face: no exception leaves it -------------------------------

BotRuntime::BotRuntime(ProfileContext& context, Random& random, BotPorts ports, QObject* parent)
    : QObject(parent), impl_(std::make_unique<Impl>(*this, context, random, ports)) {}

BotRuntime::~BotRuntime() = default;

bool BotRuntime::OnlineButtonClick() {
    try {
        impl_->OnlineButtonClick();
        return true;
    } catch (const std::exception& error) {
        impl_->Tell(error.what());
    } catch (...) {
        impl_->Tell("Unbekannter Fehler");
    }
    return false;
}

void BotRuntime::OfflineButtonClick() {
    impl_->Guarded([this] { impl_->OfflineButtonClick(); });
}

void BotRuntime::SetTimings(const BotTimings& timings) { impl_->SetTimings(timings); }

BotState BotRuntime::State() const { return impl_->policy_.State(); }

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

bool BotRuntime::IsConnected() const { return impl_->link_->Ready(); }

quint16 BotRuntime::IdentPort() const { return impl_->identServer_->Port(); }
quint16 BotRuntime::DccPort() const { return impl_->dccServer_->Port(); }
std::size_t BotRuntime::PendingAnswers() const { return impl_->answering_.Pending(); }

}  // namespace tovik
