#include "bot/login/Scram.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QPasswordDigestor>
#include <QRandomGenerator>

#include <array>
#include <optional>

#include "bot/login/SaslPrep.h"
#include "irc/Lists.h"
#include "text/Cp1252.h"
#include "text/Encoding.h"
#include "text/Literal.h"

namespace tovik {
namespace {

using namespace tovik::literals;

constexpr std::string_view kNotScram = "der Server antwortet nicht nach SCRAM-SHA-256";

QByteArray Bytes(std::string_view text) { return QByteArray(text.data(), static_cast<qsizetype>(text.size())); }
std::string Text(const QByteArray& bytes) { return bytes.toStdString(); }

QByteArray Hmac(const QByteArray& key, const QByteArray& message) {
    return QMessageAuthenticationCode::hash(message, key, QCryptographicHash::Sha256);
}

// "=" and "," would end the name early: RFC 5802 writes them "=3D", "=2C".
std::string SaslName(std::string_view name) {
    std::string out;
    for (char c : name) {
        if (c == '=') out += "=3D";
        else if (c == ',') out += "=2C";
        else out += c;
    }
    return out;
}

SaslMechanism::Reply Refused(std::string reason, bool tryNext = false) {
    SaslMechanism::Reply reply;
    reply.reason = std::move(reason);
    reply.tryNext = tryNext;
    return reply;
}

}  // namespace

ScramSha256::ScramSha256(std::string account, std::string password, std::string nonce)
    : account_(std::move(account)), password_(std::move(password)), nonce_(std::move(nonce)) {}

std::string ScramSha256::RandomNonce() {
    std::array<quint32, 6> random{};
    QRandomGenerator::system()->fillRange(random.data(), random.size());
    return Text(QByteArray(reinterpret_cast<const char*>(random.data()), sizeof random).toBase64());
}

std::string ScramSha256::SaltedPassword(const std::string& password, const std::string& salt, unsigned long rounds) {
    return Text(QPasswordDigestor::deriveKeyPbkdf2(QCryptographicHash::Sha256, Bytes(password), Bytes(salt),
                                                   static_cast<int>(rounds), 32));
}

SaslMechanism::Reply ScramSha256::Respond(std::string_view challenge) {
    switch (step_) {
    case Step::First: {
        // A server that prepares what it stores would never match an
        // unprepared name or password; one that cannot be prepared is no
        // SCRAM credential at all.
        const auto name = SaslPrep(Cp1252ToUtf8(account_));
        const auto password = SaslPrep(Cp1252ToUtf8(password_));
        if (!name) return Refused(std::string("der Kontoname taugt nicht für SCRAM-SHA-256 (SASLprep)"_w1252), true);
        if (!password)
            return Refused(std::string("das Passwort taugt nicht für SCRAM-SHA-256 (SASLprep)"_w1252), true);
        password_ = *password;
        // No channel binding ("n"), no authorization identity.
        clientFirstBare_ = "n=" + SaslName(*name) + ",r=" + nonce_;
        step_ = Step::Final;
        return Answer("n,," + clientFirstBare_);
    }
    case Step::Final:
        return Final(challenge);
    case Step::Signature:
        return Signature(challenge);
    case Step::Deriving:
    case Step::Verified:
        break;
    }
    return Refused(std::string(kNotScram));
}

SaslMechanism::Reply ScramSha256::Final(std::string_view serverFirst) {
    // A mandatory extension ("m=") is one we cannot know.
    const auto nonce = ListValue(serverFirst, "r");
    const auto salt = ListValue(serverFirst, "s");
    const auto roundsText = ListValue(serverFirst, "i");
    if (serverFirst.starts_with("m=") || !nonce || !salt || !roundsText) return Refused(std::string(kNotScram));
    // The server's nonce extends ours; anything else answers someone else.
    if (nonce->size() <= nonce_.size() || !nonce->starts_with(nonce_)) return Refused(std::string(kNotScram));
    const auto rounds = DecimalNumber<unsigned long>(*roundsText);
    if (!rounds || *rounds == 0) return Refused(std::string(kNotScram));
    const std::string named = "(i=" + std::to_string(*rounds) + ")";
    if (*rounds < kMinRounds) return Refused("der Server verlangt zu wenige Runden " + named, true);
    if (*rounds > kMaxRounds) return Refused("der Server verlangt zu viele Runden " + named, true);
    const std::string saltBytes = Text(QByteArray::fromBase64(Bytes(*salt)));
    if (saltBytes.empty()) return Refused(std::string(kNotScram));

    // "biws" is base64 of the header "n,," again.
    finalWithoutProof_ = "c=biws,r=" + std::string(*nonce);
    authMessage_ = clientFirstBare_ + "," + std::string(serverFirst) + "," + finalWithoutProof_;
    step_ = Step::Deriving;
    Reply reply;
    reply.work = [password = password_, saltBytes, count = *rounds] {
        return SaltedPassword(password, saltBytes, count);
    };
    return reply;
}

SaslMechanism::Reply ScramSha256::Resume(std::string saltedPassword) {
    if (step_ != Step::Deriving) return Refused(std::string(kNotScram));
    const QByteArray salted = Bytes(saltedPassword);
    const QByteArray clientKey = Hmac(salted, "Client Key");
    const QByteArray storedKey = QCryptographicHash::hash(clientKey, QCryptographicHash::Sha256);
    const QByteArray authMessage = Bytes(authMessage_);
    QByteArray proof = Hmac(storedKey, authMessage);
    for (qsizetype k = 0; k < proof.size(); ++k) proof[k] = static_cast<char>(proof[k] ^ clientKey[k]);
    serverSignature_ = Text(Hmac(Hmac(salted, "Server Key"), authMessage));
    step_ = Step::Signature;
    return Answer(finalWithoutProof_ + ",p=" + Text(proof.toBase64()));
}

SaslMechanism::Reply ScramSha256::Signature(std::string_view serverFinal) {
    if (const auto error = ListValue(serverFinal, "e"))
        return Refused("der Server lehnt ab (" + ServerText(*error) + ")");
    const auto signature = ListValue(serverFinal, "v");
    if (!signature || Text(QByteArray::fromBase64(Bytes(*signature))) != serverSignature_)
        return Refused(std::string(kServerUnproved));
    step_ = Step::Verified;
    return {};
}

}  // namespace tovik
