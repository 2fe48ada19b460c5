#include "app/HeadlessBot.h"

#include <QCoreApplication>
#include <cstdio>

#include "app/ShutdownSignals.h"
#include "chat/Random.h"
#include "text/Cp1252.h"
#include "text/Encoding.h"

namespace tovik {

void TellOnStandardError(std::string_view text) {
    // A terminal or the journal's viewer acts on control characters; none
    // may reach it from a server's text that slipped into a message.
    std::fprintf(stderr, "tovik-bot: %s\n", Cp1252ToUtf8(ControlsVisible(text)).c_str());
    std::fflush(stderr);
}

HeadlessBot::HeadlessBot(Random& random, BotPorts ports, QObject* parent) : QObject(parent) {
    runtime_ = std::make_unique<BotRuntime>(context_, random, ports);
    session_.SetTeller([](const std::string& text) { TellOnStandardError(text); });
    connect(runtime_.get(), &BotRuntime::LineReceived, this, &HeadlessBot::LineReceived);
    connect(runtime_.get(), &BotRuntime::ErrorOccurred, this, &HeadlessBot::TellError);
    connect(&book_, &LogBook::JournalFailed, this, [](const std::string& text) { TellOnStandardError(text); });
    connect(&book_, &LogBook::LinesDropped, this, [this](const std::string& notice) { book_.Append(notice); });
}

HeadlessBot::~HeadlessBot() = default;

void HeadlessBot::LineReceived(const std::string& line) { book_.Append(line); }

void HeadlessBot::TellError(const std::string& text) {
    const auto now = std::chrono::steady_clock::now();
    if (text == lastError_ && now - lastErrorAt_ < std::chrono::minutes(1)) return;
    lastError_ = text;
    lastErrorAt_ = now;
    TellOnStandardError(text);
}

ExitStatus HeadlessBot::Start(const std::string& stem, bool online) {
    context_.SetProgramDirectoryFromCwd();
    const std::string name = PathFromNative(stem);
    try {
        // Unlike "&Laden" in the window, a name without a file is refused: a
        // typing error in a service's name would otherwise put a bot with
        // nothing but defaults on a public server.
        ProfileLock lock = session_.Claim(name, stem, true);
        session_.Adopt(name, stem, std::move(lock));
    } catch (const ProfileRefused& refusal) {
        TellOnStandardError(refusal.what());
        return refusal.What() == ProfileRefused::Kind::Temporary ? kExitProfileBusy : kExitRefused;
    }
    if (online && !runtime_->OnlineButtonClick()) return kExitRefused;
    started_ = true;
    return kExitOk;
}

void HeadlessBot::End() {
    if (ended_ || !started_) return;
    ended_ = true;
    book_.TellDrops();
    try {
        session_.SaveLog([this](const std::string& log) { book_.SaveTo(log, {{0, book_.Size(), {}}}); });
    } catch (const std::exception& error) {
        TellOnStandardError(error.what());
    }
}

int RunHeadless(int argc, char* argv[], const ProgramOptions& options) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tovik-B0T"));
    Random random;
    HeadlessBot bot(random);
    ShutdownSignals endings;
    QObject::connect(&endings, &ShutdownSignals::Received, &bot, [&bot] {
        bot.End();
        QCoreApplication::exit(0);
    });
    // A refused start ends here, before anything is saved.
    if (const ExitStatus start = bot.Start(*options.profile, options.online); start != kExitOk) return start;
    const int status = app.exec();
    bot.End();
    return status != 0 ? status : bot.Ending();
}

}  // namespace tovik
