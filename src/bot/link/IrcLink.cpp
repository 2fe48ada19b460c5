#include "bot/link/IrcLink.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSslKey>
#include <QHostAddress>
#include <QPointer>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include "bot/link/TlsPin.h"
#include "irc/IRC.h"
#include "services/Listen.h"
#include "text/Cp1252.h"
#include "text/Errors.h"
#include "text/Literal.h"

#include <optional>
#include <utility>

namespace tovik {

IrcLink::IrcLink(QObject* parent)
    : QObject(parent), queueTimer_(new QTimer(this)), silenceTimer_(new QTimer(this)) {
    queueTimer_->setSingleShot(true);
    queueTimer_->setTimerType(Qt::PreciseTimer);
    silenceTimer_->setSingleShot(true);
    connect(queueTimer_, &QTimer::timeout, this, [this] {
        WriteDue();
        Flush();
    });
    connect(silenceTimer_, &QTimer::timeout, this, &IrcLink::SilenceTimeout);
}

IrcLink::~IrcLink() {
    endProbe_.Release();  // so that the socket's close reaches the server
    if (socket_) {
        socket_->disconnect(this);
        delete socket_;
    }
}

bool IrcLink::Idle() const { return !socket_ || socket_->state() == QAbstractSocket::UnconnectedState; }

bool IrcLink::Ready() const {
    return socket_ && socket_->state() == QAbstractSocket::ConnectedState && (!tls_ || tls_->isEncrypted());
}

bool IrcLink::PeerIsLoopback() const { return socket_ && socket_->peerAddress().isLoopback(); }

namespace {

std::string AddressText(const QHostAddress& address) {
    if (address.isNull()) return {};
    bool ipv4 = false;
    const quint32 number = address.toIPv4Address(&ipv4);  // an IPv4-mapped one too
    return (ipv4 ? QHostAddress(number) : address).toString().toStdString();
}

}  // namespace

std::string IrcLink::LocalAddress() const { return socket_ ? AddressText(socket_->localAddress()) : std::string(); }

std::string IrcLink::PeerAddress() const { return socket_ ? AddressText(socket_->peerAddress()) : std::string(); }

using namespace literals;

namespace {

// The certificate and key of a PEM file, as Qt takes them; the key may be
// RSA or an elliptic curve one.
std::pair<QSslCertificate, QSslKey> ReadClientCertificate(const std::string& path) {
    QFile file(QString::fromStdString(Cp1252ToUtf8(path)));
    const QByteArray pem = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    QSslKey key(pem, QSsl::Rsa, QSsl::Pem);
    if (key.isNull()) key = QSslKey(pem, QSsl::Ec, QSsl::Pem);
    if (certificates.isEmpty() || key.isNull())
        throw Error("TLS-Fehler: TLSClientCert " + path +
                    std::string(" enthält kein Zertifikat mit Schlüssel (PEM)"_w1252));
    return {certificates.front(), key};
}

}  // namespace

void IrcLink::Open(const LinkTarget& target) {
    if (!Idle()) return;
    std::optional<std::pair<QSslCertificate, QSslKey>> certificate;
    if (target.tls && !target.clientCertificate.empty()) certificate = ReadClientCertificate(target.clientCertificate);
    if (socket_) {
        socket_->disconnect(this);
        socket_->deleteLater();
    }
    // Only a TLS connection touches Qt's TLS classes, so that a plain one
    // never loads the backend.
    tls_ = target.tls ? new QSslSocket(this) : nullptr;
    socket_ = tls_ ? tls_ : new QTcpSocket(this);
    target_ = target;
    tlsRefusal_.clear();
    pingSent_ = false;
    showedCertificate_ = false;
    queue_.Restart();   // a new connection has the whole allowance
    lines_ = LineBuffer{};  // a tail of the last connection must not start this one's first line

    connect(socket_, &QTcpSocket::connected, this, &IrcLink::Connected);
    connect(socket_, &QTcpSocket::readyRead, this, &IrcLink::Read);
    connect(socket_, &QTcpSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) { SocketFailed(error); });
    connect(socket_, &QTcpSocket::stateChanged, this, [this](QAbstractSocket::SocketState state) {
        if (state == QAbstractSocket::UnconnectedState) Drop();
    });

    // Whatever the name resolves to, IPv6 or IPv4: the socket tries each
    // address in the resolver's order until one answers (RFC 6724 puts
    // IPv6 first where the machine has a route for it).
    const QString host = QString::fromStdString(Cp1252ToUtf8(target.host));
    if (!tls_) {
        socket_->connectToHost(host, target.port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
        return;
    }
    connect(tls_, &QSslSocket::encrypted, this, &IrcLink::Encrypted);
    connect(tls_, &QSslSocket::sslErrors, this, &IrcLink::SslErrors);
    // The certificate is checked against the system's store, host name
    // included; a pinned fingerprint overrides that in SslErrors.
    tls_->setPeerVerifyMode(QSslSocket::VerifyPeer);
    showedCertificate_ = certificate.has_value();
    if (certificate) {
        tls_->setLocalCertificate(certificate->first);
        tls_->setPrivateKey(certificate->second);
    }
    tls_->connectToHostEncrypted(host, target.port, QIODevice::ReadWrite, QAbstractSocket::AnyIPProtocol);
}

void IrcLink::Abort() {
    endProbe_.Release();  // else the server would never see this close
    if (socket_) socket_->abort();
}

void IrcLink::Connected() {
    // A link that stalls in the TLS handshake is given up like a silent one.
    ListenForSilence();
    if (tls_) return;
    endProbe_.Watch(static_cast<int>(socket_->socketDescriptor()));
    // Lines are few and paced; none should wait for the previous one's
    // acknowledgement.
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit Established();
}

// The handshake is done and the certificate accepted: by the system's
// store, or by a pinned fingerprint. A pin overrides a valid certificate too,
// so it is compared here once more.
void IrcLink::Encrypted() {
    if (!target_.pin.empty() && !FingerprintMatches(target_.pin, PeerDigest())) {
        emit Failed(TlsErrorText(PinRefusal(target_.pin), PeerDigest()));
        Abort();
        return;
    }
    endProbe_.Watch(static_cast<int>(socket_->socketDescriptor()));
    socket_->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    emit Established();
}

// The certificate failed the system's checks. With a pin, the fingerprint
// alone decides: these errors, of this certificate, are accepted when it
// matches. Without a pin, or when it does not match, the handshake fails and
// SocketFailed says why; nothing has been sent.
void IrcLink::SslErrors(const QList<QSslError>& errors) {
    if (target_.pin.empty()) return;
    if (FingerprintMatches(target_.pin, PeerDigest())) {
        tls_->ignoreSslErrors(errors);
        return;
    }
    tlsRefusal_ = PinRefusal(target_.pin);
}

std::string IrcLink::PeerDigest() const {
    if (!tls_) return {};
    const QSslCertificate certificate = tls_->peerCertificate();
    if (certificate.isNull()) return {};
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    return std::string(digest.constData(), static_cast<std::size_t>(digest.size()));
}

void IrcLink::SocketFailed(int code) {
    const auto error = static_cast<QAbstractSocket::SocketError>(code);
    const std::string text = FailureText(error);
    if (!text.empty()) emit Failed(text);
    // A TLS failure in the middle of a session (a broken record, an alert)
    // leaves Qt's socket connected but useless: end it, so that the bot
    // comes back instead of looking online.
    if (socket_ && socket_->state() == QAbstractSocket::ConnectedState) Abort();
}

// Whatever went wrong, this connection is over: its state is read once and
// the duplicate goes, so that it holds nothing open. Empty: no failure of
// ours (the server ended the connection).
std::string IrcLink::FailureText(int code) {
    const auto error = static_cast<QAbstractSocket::SocketError>(code);
    const bool reset = endProbe_.WasReset();
    endProbe_.Release();
    switch (error) {
    case QAbstractSocket::RemoteHostClosedError:
        // The server ending the connection is no failure of ours; a reset is
        // (the server crashed, or something between us cut the line).
        return reset ? SocketError(ErrnoOf(error)).what() : std::string();
    case QAbstractSocket::SslHandshakeFailedError: {
        std::string reason = tlsRefusal_;
        if (reason.empty() && tls_)
            for (const QSslError& sslError : tls_->sslHandshakeErrors()) {
                if (!reason.empty()) reason += "; ";
                reason += Utf8ToCp1252(sslError.errorString().toStdString());
            }
        if (reason.empty()) reason = Utf8ToCp1252(socket_->errorString().toStdString());
        return TlsErrorText(reason, PeerDigest());
    }
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return TlsErrorText(Utf8ToCp1252(socket_->errorString().toStdString()), PeerDigest());
    default:
        return SocketFailureText(error, socket_->errorString(), "connect");
    }
}

void IrcLink::Drop() {
    endProbe_.Release();
    queue_.Clear();
    queueTimer_->stop();
    silenceTimer_->stop();
    emit Ended();
}

void IrcLink::SilenceTimeout() {
    if (!socket_ || socket_->state() != QAbstractSocket::ConnectedState) return;
    // Heard from meanwhile: the silence began then.
    const auto quiet = std::chrono::steady_clock::now() - heard_;
    if (quiet < silence_) {
        silenceTimer_->start(std::chrono::ceil<std::chrono::milliseconds>(silence_ - quiet));
        return;
    }
    // Connected, but the TLS handshake never finished; or a half-open
    // connection (a sleeping laptop, a forgotten NAT entry) that stays silent
    // for ever: ask once, then give it up.
    if (Ready() && !pingSent_) {
        pingSent_ = true;
        Send(MakeRawLine("PING :" + RemoveLineBreaks(target_.host)), LineClass::Urgent);
        Flush();
        ListenForSilence();
        return;
    }
    Abort();  // ends in Ended, and the runtime tries again
}

void IrcLink::ListenForSilence() {
    heard_ = std::chrono::steady_clock::now();
    silenceTimer_->start(silence_);
}

void IrcLink::Read() {
    const QByteArray bytes = socket_->readAll();
    if (!bytes.isEmpty()) {
        // The link is alive.
        pingSent_ = false;
        heard_ = std::chrono::steady_clock::now();
    }
    lines_.Append(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    // The socket may be gone when a handler ends the connection.
    QPointer<QTcpSocket> socket = socket_;
    std::string line;
    while (socket && socket->state() == QAbstractSocket::ConnectedState && lines_.Next(line)) emit LineArrived(line);
    emit ReadFinished();
    // An error box runs its own event loop inside a handler, and the socket
    // does not announce data that arrived meanwhile a second time.
    if (socket && socket == socket_ && socket->bytesAvailable() > 0)
        QTimer::singleShot(0, this, [this, socket] {
            if (socket && socket == socket_) Read();
        });
}

bool IrcLink::Send(std::string line, LineClass lineClass, std::string partner, std::string destination) {
    // Before the connection stands or after it is gone nothing is sent, and
    // nothing is reported: a reply typed out after "Offline" just vanishes.
    if (!Ready()) return false;
    queue_.Push(SendQueue::Clock::now(), std::move(line), lineClass, std::move(partner), std::move(destination));
    WriteDue();
    ArmQueueTimer();
    return true;
}

void IrcLink::Fed() {
    if (!Ready()) return;
    queue_.Fed(SendQueue::Clock::now());
    WriteDue();
    ArmQueueTimer();
}

void IrcLink::Flush() {
    if (Ready()) socket_->flush();
}

// Hands what the queue lets go now to the socket, in one piece.
void IrcLink::WriteDue() {
    const auto now = SendQueue::Clock::now();
    auto departures = queue_.TakeDue(now);
    if (departures.empty()) return;
    std::string bytes;
    for (auto& departure : departures) bytes += OnTheWire(std::move(departure.line));
    if (Ready()) socket_->write(bytes.data(), static_cast<qint64>(bytes.size()));
    for (const auto& departure : departures)
        if (!departure.partner.empty()) emit LineLeft(departure.partner);
    ArmQueueTimer();
}

void IrcLink::ArmQueueTimer() {
    const auto now = SendQueue::Clock::now();
    const auto next = queue_.NextDue(now);
    if (!next) {
        queueTimer_->stop();
        return;
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - now);
    queueTimer_->start(std::max<std::chrono::milliseconds>(wait, std::chrono::milliseconds(0)));
}

}  // namespace tovik
