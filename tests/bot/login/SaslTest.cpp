// The PLAIN message as the account login sends it: exact encoding and the
// 400-byte pieces, which the scripted-server tests do not reach.

#include "bot/login/Sasl.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include "bot/link/TlsPin.h"

namespace tovik {
namespace {

// The PLAIN message as AUTHENTICATE carries it.
std::vector<std::string> PlainPieces(const std::string& account, const std::string& password) {
    return AuthenticatePieces(Base64(PlainOrExternal("PLAIN", account, password)->Respond({}).response));
}

std::string Decoded(const std::vector<std::string>& pieces) {
    std::string joined;
    for (const auto& piece : pieces)
        if (piece != "+") joined += piece;
    const QByteArray bytes = QByteArray::fromBase64(QByteArray::fromStdString(joined));
    return bytes.toStdString();
}

TEST(SaslPlain, PiecesAreAtMost400BytesAndAFullLastPieceIsFollowedByAPlus) {
    // The message is account + NUL + account + NUL + password; 300 bytes of
    // it make exactly 400 base64 bytes.
    struct Case {
        std::size_t passwordSize;
        std::vector<std::size_t> pieceSizes;
    };
    const std::string account = "tovik";  // 5 + 1 + 5 + 1 = 12 bytes before the password
    for (const Case& c : std::vector<Case>{{6, {24}}, {288, {400, 1}}, {289, {400, 4}}, {588, {400, 400, 1}}}) {
        const std::string password(c.passwordSize, 'g');
        const auto pieces = PlainPieces(account, password);
        std::vector<std::size_t> sizes;
        for (const auto& piece : pieces) sizes.push_back(piece.size());
        EXPECT_EQ(sizes, c.pieceSizes) << c.passwordSize;
        EXPECT_EQ(Decoded(pieces), account + '\0' + account + '\0' + password);
        if (c.pieceSizes.back() == 1) {
            EXPECT_EQ(pieces.back(), "+");
        }
    }
}

// The profile holds Windows-1252; the mechanism carries UTF-8.
TEST(SaslPlain, CredentialsGoOutAsUtf8) {
    const auto pieces = PlainPieces("J\xfcrgen", "Stra\xdf" "e");
    EXPECT_EQ(Decoded(pieces), std::string("J\xc3\xbcrgen\0J\xc3\xbcrgen\0Stra\xc3\x9f" "e", 23));
}

TEST(TlsPin, TheFingerprintMatchesHoweverItIsWritten) {
    std::string digest;
    for (int i = 0; i < 32; ++i) digest += static_cast<char>(0xA0 + i % 16);
    const std::string shown = ColonHex(digest);
    EXPECT_EQ(shown.substr(0, 12), "A0:A1:A2:A3:");
    std::string bare;
    for (char c : shown)
        if (c != ':') bare += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (const std::string& typed : {shown, bare, " " + bare.substr(0, 10) + " " + bare.substr(10) + " "})
        EXPECT_TRUE(FingerprintMatches(typed, digest)) << typed;
    for (const std::string& typed : {std::string(), bare.substr(2), bare + "00", "g" + bare.substr(1)})
        EXPECT_FALSE(FingerprintMatches(typed, digest)) << typed;
    EXPECT_FALSE(FingerprintMatches(bare, digest.substr(1)));  // SHA-256 only
}

}  // namespace
}  // namespace tovik
