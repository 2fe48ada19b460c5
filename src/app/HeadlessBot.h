#pragma once
// The bot without a window or a display, for a home server or a small VPS:
// the same runtime, its received lines kept by the same LogBook as the
// window's log and loaded and saved through the same ProfileSession, so that
// the log file holds the same bytes; every error goes to the standard error
// output in German, where a service manager's journal keeps it.

#include <QObject>
#include <chrono>
#include <memory>
#include <string>
#include <string_view>

#include "app/LogBook.h"
#include "app/ProfileSession.h"
#include "app/ProgramOptions.h"
#include "bot/BotRuntime.h"
#include "profile/ProfileStore.h"

namespace tovik {

class Random;

// "tovik-bot: " and the text (Windows-1252) in UTF-8 on standard error.
void TellOnStandardError(std::string_view text);

class HeadlessBot : public QObject {
    Q_OBJECT
public:
    explicit HeadlessBot(Random& random, BotPorts ports = {}, QObject* parent = nullptr);
    ~HeadlessBot() override;

    // Loads the profile whose file name (without ".ini") is `stem`, the
    // operating system's bytes, from PROFILES in the working directory, and
    // goes online when asked. kExitOk when the bot runs; otherwise, after
    // saying why, the status to end with: kExitRefused when the name cannot
    // be a profile, has no file, cannot be locked or going online stopped
    // before connecting; kExitProfileBusy when another copy holds it. A
    // refused start saves nothing: the log stays as it was.
    ExitStatus Start(const std::string& stem, bool online);
    // Saves the log beside the profile, once, if the start went through;
    // a failure is told and the journal stays for the next start.
    void End();
    // What the program ends with after End().
    ExitStatus Ending() const { return session_.EndingFailed() ? kExitSaveFailed : kExitOk; }

    BotRuntime& Runtime() { return *runtime_; }
    ProfileContext& Context() { return context_; }
    LogBook& Book() { return book_; }

private:
    void LineReceived(const std::string& line);
    // A broken setting fails at every received line; the same text is told
    // at most once a minute, so that the service's journal stays readable.
    void TellError(const std::string& text);

    ProfileContext context_;
    LogBook book_;
    ProfileSession session_{context_, book_};
    std::unique_ptr<BotRuntime> runtime_;
    bool started_ = false;
    bool ended_ = false;
    std::string lastError_;
    std::chrono::steady_clock::time_point lastErrorAt_{};
};

// The whole run without a window: the event loop of a QCoreApplication (no
// display needed), the bot started with the options' profile, an ending
// signal saving the log. Returns the exit status.
int RunHeadless(int argc, char* argv[], const ProgramOptions& options);

}  // namespace tovik
