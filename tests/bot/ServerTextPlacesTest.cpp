// Every place where a server's own text reaches the operator, with one
// table of hostile texts: the account of a login (the status bar), the
// reasons of a refused login, the server's list of mechanisms and SCRAM's
// error (message boxes, standard error), a refused nick and its reason.
// Each shows the text as the gate has it, and no control byte.

#include <gtest/gtest.h>

#include <algorithm>

#include "HostileTexts.h"
#include "TestSupport.h"
#include "bot/login/CapNegotiation.h"
#include "bot/login/Scram.h"
#include "bot/session/NickKeeper.h"
#include "bot/session/ServerSupport.h"

namespace tovik {
namespace {

using test::Escaped;

bool HasControls(const std::string& text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto b = static_cast<unsigned char>(c);
        // C0 but tab, DEL, and the bytes Windows-1252 leaves to C1 controls.
        return (b < 0x20 && b != '\t') || b == 0x7F || b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
    });
}

// The facts a negotiation gave for these server lines, one per line.
std::string Said(const std::string& mechanisms, const std::vector<std::string>& lines) {
    CapNegotiation negotiation({"tovik", "geheim", mechanisms}, {true, false, false}, [](std::string_view name) {
        return name == "SCRAM-SHA-256" ? std::make_unique<ScramSha256>("tovik", "geheim", "nonce")
                                       : PlainOrExternal(name, "tovik", "geheim");
    });
    negotiation.Begin();
    std::string said;
    for (const std::string& line : lines) {
        const CapNegotiation::Outcome outcome = negotiation.Handle(line);
        if (outcome.failure) said += *outcome.failure;
        if (outcome.account) said += *outcome.account;
    }
    return said;
}

TEST(ServerTextPlaces, EachShowsTheGatedTextAndNoControlByte) {
    const std::string failed = "SASL-Anmeldung als tovik fehlgeschlagen: ";
    for (const test::HostileText& text : test::HostileTexts()) {
        SCOPED_TRACE(text.name);
        const std::vector<std::string> login{":srv CAP * LS :sasl", ":srv CAP * ACK :sasl", "AUTHENTICATE +"};
        std::vector<std::string> account = login, reason = login;
        account.insert(account.end(), {":srv 900 * * " + text.sent + " :in", ":srv 903 * :ok"});
        reason.push_back(":srv 904 * :" + text.sent);

        ScramSha256 scram("tovik", "geheim", "nonce");
        scram.Respond("");
        SaslMechanism::Reply derive = scram.Respond("r=nonceX,s=c2FsdA==,i=4096");
        scram.Resume(derive.work());

        NickKeeper keeper;
        const NickKeeper::Outcome nick =
            keeper.Follow(ParseMessage(":srv 432 * " + text.sent + " :" + text.sent), "Tovik", ServerSupport{});

        const std::vector<std::pair<std::string, std::string>> places{
            {Said("PLAIN", account), text.shown},
            {Said("PLAIN", reason), failed + text.shown},
            {Said("PLAIN", {":srv CAP * LS :sasl=" + text.sent}), failed + "der Server nimmt PLAIN nicht an (" + text.shown + ")"},
            {scram.Respond("e=" + text.sent).reason.value_or(""), "der Server lehnt ab (" + text.shown + ")"},
            {nick.told.value_or(""), "Nick " + text.shown + " abgelehnt: " + text.shown +
                                         ". Neuer Versuch mit der n\xe4" "chsten Verbindung."},
        };
        for (const auto& [shown, expected] : places) {
            EXPECT_EQ(Escaped(shown), Escaped(expected));
            EXPECT_FALSE(HasControls(shown)) << Escaped(shown);
        }
    }
}

}  // namespace
}  // namespace tovik
