#pragma once
// Tells a connection the server reset apart from one it closed normally.
//
// When a read fails with ECONNRESET, the socket layer we use reports the same
// "remote host closed" as for a normal end of stream, and it has already
// closed its descriptor by then. A duplicate of the descriptor, taken while
// the connection stands, keeps the kernel socket alive, so its TCP state can
// still be read afterwards: a reset leaves it CLOSE, the peer's FIN leaves it
// CLOSE_WAIT.
//
// The duplicate must never outlive the connection: while it is open, closing
// the original descriptor sends nothing to the peer. Release it before every
// close of our own and as soon as the connection has ended.

namespace tovik {

class ConnectionEndProbe {
public:
    ConnectionEndProbe() = default;
    ~ConnectionEndProbe() { Release(); }
    ConnectionEndProbe(const ConnectionEndProbe&) = delete;
    ConnectionEndProbe& operator=(const ConnectionEndProbe&) = delete;

    // Keeps a close-on-exec duplicate of `socketFd`, releasing any earlier
    // one. Without a duplicate (invalid descriptor, no descriptors left) the
    // probe simply has nothing to tell.
    void Watch(int socketFd);
    bool Watching() const { return fd_ >= 0; }
    // True when the watched connection was ended by a reset.
    bool WasReset() const;
    void Release();

private:
    int fd_ = -1;
};

}  // namespace tovik
