#include "ServiceTestClient.h"

#include <QHostAddress>

#include "TestSupport.h"

namespace tovik::test {

TestClient::TestClient(bool ackEachRead) : acking_(ackEachRead) {
    connect(&socket_, &QTcpSocket::readyRead, this, [this] {
        const QByteArray data = socket_.readAll();
        received_.append(data.constData(), static_cast<std::size_t>(data.size()));
        if (acking_) SendAck(static_cast<std::uint32_t>(received_.size()));
    });
    connect(&socket_, &QTcpSocket::disconnected, this, [this] { closed_ = true; });
    connect(&socket_, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::ConnectionRefusedError) refused_ = true;
    });
}

bool TestClient::Connect(quint16 port, int timeoutMs) {
    socket_.connectToHost(QHostAddress::LocalHost, port);
    WaitUntil([this] { return socket_.state() == QAbstractSocket::ConnectedState || refused_; }, timeoutMs);
    return socket_.state() == QAbstractSocket::ConnectedState;
}

void TestClient::Send(const std::string& bytes) {
    socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
    socket_.flush();
}

void TestClient::SendAck(std::uint32_t total) {
    const char bytes[4] = {static_cast<char>(total >> 24), static_cast<char>(total >> 16),
                           static_cast<char>(total >> 8), static_cast<char>(total)};
    Send(std::string(bytes, 4));
}

bool TestClient::WaitClosed(int timeoutMs) {
    return WaitUntil([this] { return closed_; }, timeoutMs);
}

bool TestClient::WaitReceived(std::size_t bytes, int timeoutMs) {
    return WaitUntil([this, bytes] { return received_.size() >= bytes; }, timeoutMs);
}

}  // namespace tovik::test
