// Telling a reset from a normal close on plain loopback sockets, the way the
// runtime's socket layer sees them: it reads the end, closes its own
// descriptor, and only then asks.

#include "bot/link/ConnectionEndProbe.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace tovik {
namespace {

// A connected pair on 127.0.0.1: `client` and the server's `accepted` end.
class SocketPair {
public:
    SocketPair() {
        const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), size), 0);
        EXPECT_EQ(::listen(listener, 1), 0);
        EXPECT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
        client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        EXPECT_EQ(::connect(client, reinterpret_cast<sockaddr*>(&address), size), 0);
        accepted = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        ::close(listener);
    }
    ~SocketPair() {
        CloseClient();
        CloseAccepted();
    }
    void CloseClient() { Close(client); }
    void CloseAccepted() { Close(accepted); }
    void ResetFromServer() {
        const linger abortive{1, 0};
        ::setsockopt(accepted, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        CloseAccepted();
    }

    int client = -1;
    int accepted = -1;

private:
    static void Close(int& fd) {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

// Waits (bounded) until `fd` has something to read or an end, then reads once:
// the byte count, 0 for end of stream, or -errno.
int ReadWhenReady(int fd) {
    pollfd watched{fd, POLLIN, 0};
    if (::poll(&watched, 1, 5000) != 1) return -ETIMEDOUT;
    char byte = 0;
    const ssize_t got = ::recv(fd, &byte, 1, 0);
    return got < 0 ? -errno : static_cast<int>(got);
}

TEST(ConnectionEndProbeTest, AResetIsTold) {
    SocketPair pair;
    ConnectionEndProbe probe;
    probe.Watch(pair.client);
    ASSERT_TRUE(probe.Watching());
    EXPECT_FALSE(probe.WasReset());  // the connection stands
    pair.ResetFromServer();
    EXPECT_EQ(ReadWhenReady(pair.client), -ECONNRESET);
    pair.CloseClient();
    EXPECT_TRUE(probe.WasReset());
}

TEST(ConnectionEndProbeTest, ANormalCloseIsNoReset) {
    SocketPair pair;
    ConnectionEndProbe probe;
    probe.Watch(pair.client);
    pair.CloseAccepted();
    EXPECT_EQ(ReadWhenReady(pair.client), 0);
    pair.CloseClient();
    EXPECT_FALSE(probe.WasReset());
}

TEST(ConnectionEndProbeTest, ReleasingLetsThePeerSeeTheClose) {
    SocketPair pair;
    ConnectionEndProbe probe;
    probe.Watch(pair.client);
    pair.CloseClient();
    // The duplicate still holds the connection: no end of stream yet.
    pollfd watched{pair.accepted, POLLIN, 0};
    EXPECT_EQ(::poll(&watched, 1, 50), 0);
    probe.Release();
    EXPECT_FALSE(probe.Watching());
    EXPECT_EQ(ReadWhenReady(pair.accepted), 0);
}

TEST(ConnectionEndProbeTest, TheDestructorReleasesToo) {
    SocketPair pair;
    {
        ConnectionEndProbe probe;
        probe.Watch(pair.client);
        pair.CloseClient();
    }
    EXPECT_EQ(ReadWhenReady(pair.accepted), 0);
}

TEST(ConnectionEndProbeTest, WatchingAgainReleasesTheEarlierConnection) {
    SocketPair first;
    SocketPair second;
    ConnectionEndProbe probe;
    probe.Watch(first.client);
    first.CloseClient();
    probe.Watch(second.client);
    EXPECT_EQ(ReadWhenReady(first.accepted), 0);
    second.ResetFromServer();
    EXPECT_EQ(ReadWhenReady(second.client), -ECONNRESET);
    EXPECT_TRUE(probe.WasReset());
}

TEST(ConnectionEndProbeTest, WithoutADescriptorThereIsNothingToTell) {
    ConnectionEndProbe probe;
    EXPECT_FALSE(probe.WasReset());
    probe.Watch(-1);
    EXPECT_FALSE(probe.Watching());
    EXPECT_FALSE(probe.WasReset());
    probe.Release();  // harmless
}

TEST(ConnectionEndProbeTest, TheDuplicateIsNotInherited) {
    SocketPair pair;
    // A duplicate takes the lowest free descriptor: find out which that is.
    const int expected = ::fcntl(pair.client, F_DUPFD, 0);
    ASSERT_GE(expected, 0);
    ::close(expected);
    ConnectionEndProbe probe;
    probe.Watch(pair.client);
    sockaddr_in theirs{};
    sockaddr_in ours{};
    socklen_t size = sizeof theirs;
    ASSERT_EQ(::getsockname(expected, reinterpret_cast<sockaddr*>(&theirs), &size), 0);
    size = sizeof ours;
    ASSERT_EQ(::getsockname(pair.client, reinterpret_cast<sockaddr*>(&ours), &size), 0);
    EXPECT_EQ(theirs.sin_port, ours.sin_port);  // the same connection
    EXPECT_EQ(::fcntl(expected, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
}

}  // namespace
}  // namespace tovik
