#include "bot/login/Scram.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QMessageAuthenticationCode>
#include <QPasswordDigestor>
#include <QRandomGenerator>

#include <array>
#include <charconv>
#include <optional>

#include "text/Cp1252.h"

namespace tovik {
namespace {

constexpr std::string_view kNotScram = "der Server antwortet nicht nach SCRAM-SHA-256";
constexpr std::string_view kUnproved = "der Server hat sich nicht als Kenner des Passworts ausgewiesen";

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

// The value of one "k=value" attribute of a server message.
std::optional<std::string_view> Attribute(std::string_view message, char key) {
    while (!message.empty()) {
        const auto comma = message.find(',');
        const std::string_view attribute = message.substr(0, comma);
        if (attribute.size() >= 2 && attribute[0] == key && attribute[1] == '=') return attribute.substr(2);
        if (comma == std::string_view::npos) break;
        message.remove_prefix(comma + 1);
    }
    return std::nullopt;
}

}  // namespace

ScramSha256::ScramSha256(std::string account, std::string password, std::string nonce)
    : account_(std::move(account)), password_(std::move(password)), nonce_(std::move(nonce)) {}

std::string ScramSha256::RandomNonce() {
    std::array<quint32, 6> random{};
    QRandomGenerator::system()->fillRange(random.data(), random.size());
    return Text(QByteArray(reinterpret_cast<const char*>(random.data()), sizeof random).toBase64());
}

SaslMechanism::Reply ScramSha256::Respond(std::string_view challenge) {
    switch (step_) {
    case Step::First:
        // No channel binding ("n"), no authorization identity.
        clientFirstBare_ = "n=" + SaslName(Cp1252ToUtf8(account_)) + ",r=" + nonce_;
        step_ = Step::Final;
        return {"n,," + clientFirstBare_, {}};
    case Step::Final:
        return Final(challenge);
    case Step::Signature:
        return Signature(challenge);
    case Step::Verified:
        break;
    }
    return {{}, std::string(kNotScram)};
}

SaslMechanism::Reply ScramSha256::Final(std::string_view serverFirst) {
    // A mandatory extension ("m=") is one we cannot know.
    const auto nonce = Attribute(serverFirst, 'r');
    const auto salt = Attribute(serverFirst, 's');
    const auto rounds = Attribute(serverFirst, 'i');
    if (serverFirst.rfind("m=", 0) == 0 || !nonce || !salt || !rounds) return {{}, std::string(kNotScram)};
    // The server's nonce extends ours; anything else answers someone else.
    if (nonce->size() <= nonce_.size() || nonce->substr(0, nonce_.size()) != nonce_) return {{}, std::string(kNotScram)};
    long count = 0;
    const auto [end, error] = std::from_chars(rounds->data(), rounds->data() + rounds->size(), count);
    if (error != std::errc() || end != rounds->data() + rounds->size() || count < 1) return {{}, std::string(kNotScram)};
    if (count > kMaxRounds) return {{}, "der Server verlangt zu viele Runden (i=" + std::string(*rounds) + ")"};
    const QByteArray saltBytes = QByteArray::fromBase64(Bytes(*salt));
    if (saltBytes.isEmpty()) return {{}, std::string(kNotScram)};

    const QByteArray salted = QPasswordDigestor::deriveKeyPbkdf2(
        QCryptographicHash::Sha256, Bytes(Cp1252ToUtf8(password_)), saltBytes, static_cast<int>(count), 32);
    const QByteArray clientKey = Hmac(salted, "Client Key");
    const QByteArray storedKey = QCryptographicHash::hash(clientKey, QCryptographicHash::Sha256);
    // "biws" is base64 of the header "n,," again.
    const std::string finalWithoutProof = "c=biws,r=" + std::string(*nonce);
    const QByteArray authMessage = Bytes(clientFirstBare_ + "," + std::string(serverFirst) + "," + finalWithoutProof);
    QByteArray proof = Hmac(storedKey, authMessage);
    for (qsizetype k = 0; k < proof.size(); ++k) proof[k] = static_cast<char>(proof[k] ^ clientKey[k]);
    serverSignature_ = Text(Hmac(Hmac(salted, "Server Key"), authMessage));
    step_ = Step::Signature;
    return {finalWithoutProof + ",p=" + Text(proof.toBase64()), {}};
}

SaslMechanism::Reply ScramSha256::Signature(std::string_view serverFinal) {
    if (const auto error = Attribute(serverFinal, 'e')) return {{}, "der Server lehnt ab (" + std::string(*error) + ")"};
    const auto signature = Attribute(serverFinal, 'v');
    if (!signature || Text(QByteArray::fromBase64(Bytes(*signature))) != serverSignature_)
        return {{}, std::string(kUnproved)};
    step_ = Step::Verified;
    return {};
}

}  // namespace tovik
