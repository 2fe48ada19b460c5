#include "bot/link/ConnectionEndProbe.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tovik {

void ConnectionEndProbe::Watch(int socketFd) {
    Release();
    if (socketFd < 0) return;
    fd_ = ::fcntl(socketFd, F_DUPFD_CLOEXEC, 0);  // -1 on failure: nothing watched
}

bool ConnectionEndProbe::WasReset() const {
    if (fd_ < 0) return false;
    tcp_info info{};
    socklen_t size = sizeof info;
    if (::getsockopt(fd_, IPPROTO_TCP, TCP_INFO, &info, &size) != 0) return false;
    // A normal end leaves CLOSE_WAIT (the peer's FIN, ours not yet sent);
    // only a reset, or a connection the kernel gave up on, reaches CLOSE
    // while we still hold a descriptor.
    return info.tcpi_state == TCP_CLOSE;
}

void ConnectionEndProbe::Release() {
    if (fd_ < 0) return;
    ::close(fd_);
    fd_ = -1;
}

}  // namespace tovik
