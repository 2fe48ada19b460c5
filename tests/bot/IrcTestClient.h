#pragma once
// A minimal IRC user for tests: registers a nick, collects the lines the
// server sends it (answering PING) with the moment each arrived, and sends
// what a test tells it to.

#include <QElapsedTimer>
#include <QHostAddress>
#include <QTcpSocket>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "EventWait.h"
#include "TestSupport.h"

namespace tovik::test {

class IrcTestClient {
public:
    IrcTestClient() {
        clock_.start();
        QObject::connect(&socket_, &QTcpSocket::readyRead, [this] { Collect(); });
    }

    // caps: capabilities to request ("message-tags"), as a client of today
    // does; the registration waits for the server's ACK.
    bool Connect(quint16 port, const std::string& nick, const std::string& caps = {}) {
        socket_.connectToHost(QHostAddress::LocalHost, port);
        if (!AwaitCondition([this] { return socket_.state() == QAbstractSocket::ConnectedState; })) return false;
        if (!caps.empty()) Send("CAP REQ :" + caps);
        Send("NICK " + nick);
        Send("USER tester 0 0 :Test Client");
        if (!caps.empty()) {
            if (WaitForText(" ACK :" + caps) < 0) return false;
            Send("CAP END");
        }
        return WaitFor([](const std::string& l) { return l.find(" 001 ") != std::string::npos; }, 10000) >= 0;
    }

    void Send(const std::string& line) {
        const std::string bytes = line + "\r\n";
        socket_.write(bytes.data(), static_cast<qint64>(bytes.size()));
        socket_.flush();
    }

    // Index of the first line from `from` on that satisfies pred, waiting up
    // to ms for it; -1 when none came.
    int WaitFor(const std::function<bool(const std::string&)>& pred, int ms = 10000, std::size_t from = 0) {
        int found = -1;
        AwaitCondition(
            [&] {
                for (std::size_t i = from; i < lines_.size(); ++i)
                    if (pred(lines_[i])) return (found = static_cast<int>(i)) >= 0;
                return false;
            },
            ms);
        return found;
    }
    int WaitForText(std::string_view part, int ms = 10000, std::size_t from = 0) {
        return WaitFor([part](const std::string& l) { return l.find(part) != std::string::npos; }, ms, from);
    }

    std::size_t Count(std::string_view part, std::size_t from = 0) const {
        std::size_t count = 0;
        for (std::size_t i = from; i < lines_.size(); ++i) count += lines_[i].find(part) != std::string::npos;
        return count;
    }

    const std::vector<std::string>& Lines() const { return lines_; }
    // When line i arrived, in ms since the client was made.
    qint64 ArrivalMs(std::size_t i) const { return arrivals_.at(i); }
    qint64 NowMs() const { return clock_.elapsed(); }
    std::size_t Mark() const { return lines_.size(); }

private:
    void Collect() {
        const QByteArray bytes = socket_.readAll();
        buffer_.append(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        for (std::size_t end; (end = buffer_.find('\n')) != std::string::npos; buffer_.erase(0, end + 1)) {
            std::string line = buffer_.substr(0, end);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("PING ", 0) == 0) Send("PONG " + line.substr(5));
            lines_.push_back(std::move(line));
            arrivals_.push_back(clock_.elapsed());
        }
    }

    QTcpSocket socket_;
    std::string buffer_;
    std::vector<std::string> lines_;
    std::vector<qint64> arrivals_;
    QElapsedTimer clock_;
};

}  // namespace tovik::test
