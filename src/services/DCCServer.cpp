#include "services/DCCServer.h"

#include <QHostAddress>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <exception>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "services/ConnectionSet.h"
#include "services/Listen.h"
#include "text/Cp1252.h"
#include "text/Errors.h"

namespace tovik {

int DCCAckReader::Feed(std::string_view bytes) {
    int completed = 0;
    for (unsigned char byte : bytes) {
        partial_ = (partial_ << 8) | byte;
        if (++partialBytes_ < 4) continue;
        last_ = partial_;
        partial_ = 0;
        partialBytes_ = 0;
        ++count_;
        ++completed;
    }
    return completed;
}

namespace {

// The socket's own buffer is kept between these marks, so a 100 MB picture
// never sits in memory as a whole and a slow receiver holds back the reading.
constexpr qint64 kChunkBytes = 64 * 1024;
constexpr qint64 kHighWaterBytes = 256 * 1024;

// A read-only file descriptor that closes itself.
class InputFile {
public:
    InputFile() = default;
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    ~InputFile() { Close(); }

    // Returns 0 or the errno that prevented opening the file for reading.
    int Open(const std::string& cp1252Path) {
        // Paths are Windows-1252 text in the program; the file system
        // names files in UTF-8.
        const std::string native = Cp1252ToUtf8(cp1252Path);
        if (native.empty()) return ENOENT;
        // Non-blocking: a FIFO or a device named as the picture must not
        // freeze the program in open(); only regular files are sent anyway.
        fd_ = ::open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) return errno;
        struct stat info {};
        if (::fstat(fd_, &info) != 0) return Fail(errno);
        // A directory opens for reading on Linux but is no picture.
        if (!S_ISREG(info.st_mode)) return Fail(S_ISDIR(info.st_mode) ? EACCES : EINVAL);
        size_ = static_cast<std::uint64_t>(info.st_size);
        return 0;
    }

    // Bytes read into buffer (0 at the end of the file), or -errno.
    long Read(char* buffer, std::size_t size) {
        for (;;) {
            const ssize_t n = ::read(fd_, buffer, size);
            if (n >= 0) return static_cast<long>(n);
            if (errno != EINTR) return -errno;
        }
    }

    void Close() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const { return size_; }

private:
    int Fail(int error) {
        Close();
        return error;
    }
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

}  // namespace

// One receiver: the whole file once, at the pace the receiver takes it, then
// the connection stays until the receiver has confirmed everything.
class DCCServer::Transfer : public QObject {
public:
    Transfer(DCCServer& owner, QTcpSocket* socket, int stallTimeoutMs, int lifeTimeoutMs,
             std::uint64_t round)
        : QObject(&owner), owner_(owner), socket_(socket), round_(round) {
        socket_->setParent(this);
        connect(socket_, &QTcpSocket::readyRead, this, [this] { owner_.DCCServerClientRead(this); });
        connect(socket_, &QTcpSocket::bytesWritten, this, &Transfer::Written);
        connect(socket_, &QTcpSocket::disconnected, this, [this] { owner_.Forget(this); });
        connect(socket_, &QTcpSocket::errorOccurred, this, &Transfer::Failed);
        stall_.setSingleShot(true);
        stall_.setInterval(stallTimeoutMs);
        connect(&stall_, &QTimer::timeout, this, &Transfer::Stalled);
        // However the receiver behaves, a slot is freed after this long, so
        // that a few peers trickling acknowledgements cannot lock out the rest.
        life_.setSingleShot(true);
        connect(&life_, &QTimer::timeout, this, [this] { socket_->abort(); });
        life_.start(lifeTimeoutMs);
    }

    // Opens the picture and begins sending. Returns the error text when the
    // file cannot be opened; the connection then stays open, idle, until the
    // receiver gives up or the stall time-out closes it.
    std::string Start(const std::string& path) {
        path_ = path;
        if (const int error = file_.Open(path); error != 0) {
            stall_.start();
            return FileError(error, path).what();
        }
        remaining_ = file_.Size();
        size_ = file_.Size();
        sending_ = true;
        stall_.start();
        Pump();
        return {};
    }

    // Takes what the receiver sent; true when it held the first
    // acknowledgement of this connection.
    bool ReadAcks() {
        const QByteArray data = socket_->readAll();
        const bool hadAny = acks_.Any();
        const std::uint32_t before = acks_.Last();
        if (acks_.Feed(std::string_view(data.constData(), static_cast<std::size_t>(data.size()))) == 0)
            return false;
        // Only an acknowledgement that moves on shows a receiver taking bytes;
        // the same count repeated is no progress.
        if (sending_ && (!hadAny || acks_.Last() != before)) stall_.start();
        return !hadAny;
    }

    // After the owner has reacted to an acknowledgement: close once the
    // receiver has confirmed the whole file.
    void CheckDone() {
        if (sending_ && remaining_ == 0 && acks_.Any() && AckCoversFile(acks_.Last(), size_)) Finish();
    }

    std::uint64_t Round() const { return round_; }

    // Closes at once, without notifying the owner (switching off).
    void Drop() {
        socket_->disconnect(this);
        stall_.stop();
        life_.stop();
        socket_->abort();
        file_.Close();
    }

private:
    // Refills the socket's buffer up to the high-water mark.
    void Pump() {
        while (sending_ && remaining_ > 0 && socket_->bytesToWrite() < kHighWaterBytes) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, kChunkBytes));
            chunk_.resize(want);
            const long got = file_.Read(chunk_.data(), want);
            if (got < 0) return Broken(static_cast<int>(-got));
            if (got == 0) {
                // The file shrank since it was opened: what was sent is all
                // there is, and the receiver's count must match that.
                size_ -= remaining_;
                remaining_ = 0;
                break;
            }
            socket_->write(chunk_.data(), got);
            remaining_ -= static_cast<std::uint64_t>(got);
        }
        if (remaining_ == 0) {
            file_.Close();
            chunk_.clear();
            chunk_.shrink_to_fit();
        }
    }

    void Written(qint64) {
        if (!sending_) return;
        stall_.start();
        Pump();
    }

    // A file that fails while being read leaves the receiver with a hole it
    // cannot detect by itself; cutting the connection tells it.
    void Broken(int error) {
        const std::string text = FileError(error, path_).what();
        sending_ = false;
        stall_.stop();
        file_.Close();
        socket_->abort();
        emit owner_.ErrorOccurred(text);
    }

    void Stalled() {
        // Everything written has left: close gracefully. Otherwise the
        // receiver stopped reading and only a reset frees the connection.
        if (socket_->bytesToWrite() == 0)
            Finish();
        else
            socket_->abort();
    }

    // Graceful: the socket flushes what is queued before it sends its FIN.
    void Finish() {
        sending_ = false;
        stall_.stop();
        socket_->disconnectFromHost();
    }

    void Failed(QAbstractSocket::SocketError error) {
        if (!IsPeerClosing(error)) emit owner_.ErrorOccurred(SocketFailureText(error, socket_->errorString(), "recv"));
        socket_->abort();
    }

    DCCServer& owner_;
    QTcpSocket* socket_;
    std::uint64_t round_;
    QTimer stall_;
    QTimer life_;
    InputFile file_;
    std::string path_;
    std::string chunk_;
    std::uint64_t size_ = 0;       // bytes the receiver must confirm
    std::uint64_t remaining_ = 0;  // bytes not yet handed to the socket
    bool sending_ = false;
    DCCAckReader acks_;
};

DCCServer::DCCServer(quint16 port, PicturePathSource picturePath, QObject* parent)
    : QObject(parent),
      port_(port),
      picturePath_(std::move(picturePath)),
      server_(new QTcpServer(this)),
      transfers_(std::make_unique<ConnectionSet<Transfer>>(kMaxTransfers)) {
    connect(server_, &QTcpServer::newConnection, this, &DCCServer::DCCServerClientConnect);
}

DCCServer::~DCCServer() = default;

void DCCServer::SwitchOn() {
    if (server_->isListening()) return;
    // Both families: an offer names an IPv4 or an IPv6 address.
    ListenOrThrow(*server_, QHostAddress::Any, port_);
    ++listenRound_;
    emit Opened(server_->serverPort());
}

void DCCServer::CloseListener() {
    if (!server_->isListening()) return;
    server_->close();
    emit Closed();
}

void DCCServer::SwitchOff() {
    CloseListener();
    transfers_->DropAll();
}

bool DCCServer::IsListening() const { return server_->isListening(); }

quint16 DCCServer::Port() const { return server_->isListening() ? server_->serverPort() : port_; }

int DCCServer::OpenConnections() const { return static_cast<int>(transfers_->Size()); }

void DCCServer::SetStallTimeoutMs(int ms) { stallTimeoutMs_ = ms; }

void DCCServer::SetLifeTimeoutMs(int ms) { lifeTimeoutMs_ = ms; }

void DCCServer::DCCServerClientConnect() {
    std::vector<std::string> errors;
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        if (!transfers_->Admit(socket)) continue;
        auto* transfer = new Transfer(*this, socket, stallTimeoutMs_, lifeTimeoutMs_, listenRound_);
        transfers_->Add(transfer);
        std::string error;
        try {
            // Read anew: the profile may name another picture since the offer.
            error = transfer->Start(picturePath_());
        } catch (const std::exception& e) {
            error = e.what();
        }
        if (!error.empty()) errors.push_back(std::move(error));
    }
    // Reported last: the receiver of the report may run a nested event loop.
    for (const std::string& error : errors) emit ErrorOccurred(error);
}

void DCCServer::DCCServerClientRead(Transfer* transfer) {
    // The first acknowledgement shows that the offer has been taken up: no
    // further receivers are let in, but transfers under way run to their end.
    if (transfer->ReadAcks() && transfer->Round() == listenRound_) CloseListener();
    transfer->CheckDone();
}

void DCCServer::Forget(Transfer* transfer) { transfers_->Forget(transfer); }

}  // namespace tovik
