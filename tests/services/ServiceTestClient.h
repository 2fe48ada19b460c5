#pragma once
// A peer for the service tests: a loopback client socket that collects what
// it receives and can answer like a DCC receiver.

#include <QObject>
#include <QTcpSocket>
#include <cstdint>
#include <string>

namespace tovik::test {

class TestClient : public QObject {
public:
    // ackEachRead: after each read, send the running total as a DCC
    // acknowledgement (4 bytes, big-endian, modulo 2^32).
    explicit TestClient(bool ackEachRead = false);

    // Connects to 127.0.0.1:port; true once connected, false when refused
    // or when the deadline passes.
    bool Connect(quint16 port, int timeoutMs = 5000);
    void Send(const std::string& bytes);
    void SendAck(std::uint32_t total);
    void SetAcking(bool on) { acking_ = on; }

    // Waits for the server to close the connection.
    bool WaitClosed(int timeoutMs = 5000);
    bool WaitReceived(std::size_t bytes, int timeoutMs = 10000);

    const std::string& Received() const { return received_; }
    bool Closed() const { return closed_; }
    bool Refused() const { return refused_; }
    QTcpSocket& Socket() { return socket_; }

private:
    QTcpSocket socket_;
    std::string received_;
    bool acking_;
    bool closed_ = false;
    bool refused_ = false;
};

}  // namespace tovik::test
