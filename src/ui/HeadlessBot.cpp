#include "ui/HeadlessBot.h"

#include <sys/stat.h>

#include <cstdio>

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

bool HeadlessBot::Start(const std::string& stem, bool online) {
    context_.SetProgramDirectoryFromCwd();
    const std::string name = PathFromNative(stem);
    if (const auto problem = ProfileNameProblem(name, stem)) {
        TellOnStandardError(*problem);
        return false;
    }
    // Unlike "&Laden" in the window, a name without a file is refused: a
    // typing error in a service's name would otherwise put a bot with
    // nothing but defaults on a public server.
    const std::string file = context_.ProfileFileOfStem(stem);
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        TellOnStandardError("Das Profil \"" + name + "\" existiert nicht: " + PathFromNative(file));
        return false;
    }
    try {
        ProfileLock lock = context_.LockProfile(name, stem);
        context_.SetCurrentProfile(name, stem, std::move(lock));
    } catch (const std::exception& error) {
        TellOnStandardError(error.what());
        return false;
    }
    try {
        book_.JournalBeside(context_.LogFile());
    } catch (const std::exception& error) {
        TellOnStandardError(error.what());  // the lines are kept all the same
    }
    return !online || runtime_->OnlineButtonClick();
}

void HeadlessBot::End() {
    if (ended_ || context_.CurrentProfile().empty()) return;
    ended_ = true;
    book_.TellDrops();
    try {
        book_.SaveTo(context_.LogFile(), {{0, book_.Size(), {}}});
        book_.JournalDone();
    } catch (const std::exception& error) {
        TellOnStandardError(error.what());
    }
}

}  // namespace tovik
