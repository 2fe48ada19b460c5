// Every place where a server's own text reaches the operator, with one
// table of hostile texts: a login's account (the status bar), a refused
// login's reason, the server's mechanisms and SCRAM's error (message boxes),
// a refused nick and its reason, and standard error (terminal, journal).

#include <gtest/gtest.h>
#include <unistd.h>

#include <QTemporaryFile>
#include <cstdio>

#include "TestSupport.h"
#include "app/HeadlessBot.h"
#include "bot/login/CapNegotiation.h"
#include "bot/login/Scram.h"
#include "bot/session/NickKeeper.h"
#include "bot/session/ServerSupport.h"
#include "text/Cp1252.h"

namespace tovik {
namespace {

// As a server sends them (no blank or comma: they fit any parameter or
// list value), and as the operator must see them, in Windows-1252.
const std::vector<std::pair<std::string, std::string>> kHostile{
    {"\x1b[2Jgone", "\\x1B[2Jgone"},  {"\x1b]0;owned\x07", "\\x1B]0;owned\\x07"}, {"ok\rFAKE", "ok\\x0DFAKE"},
    {"\xc2\x9b" "31m", "\\x9B31m"},   {"a\x9d" "b", "a\\x9Db"},                  {std::string("x\0y", 3), "x\\x00y"},
    {"x\x7f\tb", "x\\x7F\tb"},        {"J\xc3\xb6rg", "J\xf6rg"},               {"J\xf6rg\x80", "J\xf6rg\x80"},
    {"\xf0\x9f\x98\x80!", "?!"}};

std::string Said(const std::vector<std::string>& lines) {
    CapNegotiation negotiation({"tovik", "geheim", "PLAIN"}, {true, false, false},
                               [](std::string_view name) { return PlainOrExternal(name, "tovik", "geheim"); });
    std::string said = negotiation.Begin().failure.value_or("");
    for (const std::string& line : lines) {
        const CapNegotiation::Outcome outcome = negotiation.Handle(line);
        said += outcome.failure.value_or("") + outcome.account.value_or("");
    }
    return said;
}

std::string StandardErrorOf(const std::string& text) {
    QTemporaryFile file;
    if (!file.open()) return "(no temporary file)";
    std::fflush(stderr);
    const int saved = ::dup(STDERR_FILENO);
    ::dup2(file.handle(), STDERR_FILENO);
    TellOnStandardError(text);
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    return test::ReadFileBytes(file.fileName().toStdString());
}

TEST(ServerTextPlaces, EachShowsTheTextWithItsControlsWrittenOut) {
    const std::string failed = "SASL-Anmeldung als tovik fehlgeschlagen: ";
    const std::vector<std::string> login{":srv CAP * LS :sasl", ":srv CAP * ACK :sasl", "AUTHENTICATE +"};
    for (const auto& [sent, shown] : kHostile) {
        SCOPED_TRACE(test::Escaped(sent));
        std::vector<std::string> account = login, reason = login;
        account.insert(account.end(), {":srv 900 * * " + sent + " :in", ":srv 903 * :ok"});
        reason.push_back(":srv 904 * :" + sent);
        ScramSha256 scram("tovik", "geheim", "nonce");
        scram.Respond("");
        scram.Resume(scram.Respond("r=nonceX,s=c2FsdA==,i=4096").work());
        NickKeeper keeper;
        const auto nick = keeper.Follow(ParseMessage(":srv 432 * " + sent + " :" + sent), "Tovik", ServerSupport{});
        const std::string scramError = scram.Respond("e=" + sent).reason.value_or(""), again = ". Neuer Versuch mit der ";
        for (const auto& [place, expected] : std::vector<std::pair<std::string, std::string>>{
                 {Said(account), shown},
                 {Said(reason), failed + shown},
                 {Said({":srv CAP * LS :sasl=" + sent}), failed + "der Server nimmt PLAIN nicht an (" + shown + ")"},
                 {scramError, "der Server lehnt ab (" + shown + ")"},
                 {nick.told.value_or(""), "Nick " + shown + " abgelehnt: " + shown + again + "n\xe4" "chsten Verbindung."},
                 {StandardErrorOf(scramError), "tovik-bot: " + Cp1252ToUtf8(scramError) + "\n"}})
            EXPECT_EQ(test::Escaped(place), test::Escaped(expected));
    }
    // A control that reached standard error some other way is written out too.
    EXPECT_EQ(StandardErrorOf("a\x1b[2J\rb\x9d"), "tovik-bot: a\\x1B[2J\\x0Db\\x9D\n");
}

}  // namespace
}  // namespace tovik
