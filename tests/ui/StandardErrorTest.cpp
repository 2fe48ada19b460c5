// What the headless bot writes to standard error, where a terminal or the
// journal's viewer would act on control characters.

#include "ui/HeadlessBot.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryFile>
#include <cstdio>

#include "HostileTexts.h"
#include "TestSupport.h"
#include "text/Cp1252.h"
#include "text/Encoding.h"

namespace tovik {
namespace {

// Everything written to standard error while `write` runs.
std::string StandardErrorOf(const std::function<void()>& write) {
    QTemporaryFile file;
    if (!file.open()) return "(no temporary file)";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    write();
    std::fflush(stderr);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    return test::ReadFileBytes(file.fileName().toStdString());
}

TEST(StandardErrorTest, AServersTextReachesItThroughTheGateAndNoControlGetsThrough) {
    for (const test::HostileText& text : test::HostileTexts()) {
        const std::string gated = StandardErrorOf([&] { TellOnStandardError("Grund: " + ServerText(text.sent)); });
        EXPECT_EQ(test::Escaped(gated), test::Escaped("tovik-bot: Grund: " + Cp1252ToUtf8(text.shown) + "\n"))
            << text.name;
    }
    // A control that slipped into a message some other way is written out too.
    EXPECT_EQ(StandardErrorOf([] { TellOnStandardError("a\x1b[2J\rb\x9d"); }), "tovik-bot: a\\x1B[2J\\x0Db\\x9D\n");
}

}  // namespace
}  // namespace tovik
