#pragma once
// The connections a side service holds at one time, with one bound.
//
// The ident and DCC ports are open to anyone while they listen; without a
// bound a stream of connections would take memory and descriptors until the
// bot fails. Both services keep their connections here: a connection beyond
// the bound is closed at once, one that ends is forgotten, and switching off
// drops them all.
//
// `Connection` is a QObject with Drop(): close at once, tell nobody.

#include <QTcpSocket>
#include <algorithm>
#include <cstddef>
#include <vector>

namespace tovik {

template <typename Connection>
class ConnectionSet {
public:
    explicit ConnectionSet(std::size_t bound) : bound_(bound) {}
    ~ConnectionSet() {
        for (Connection* connection : connections_) {
            connection->Drop();
            delete connection;
        }
    }
    ConnectionSet(const ConnectionSet&) = delete;
    ConnectionSet& operator=(const ConnectionSet&) = delete;

    // False, and the socket closed, when the bound is reached.
    bool Admit(QTcpSocket* socket) {
        if (connections_.size() < bound_) return true;
        socket->abort();
        socket->deleteLater();
        return false;
    }
    void Add(Connection* connection) { connections_.push_back(connection); }
    // The connection has ended; it goes once control is back in the event loop.
    void Forget(Connection* connection) {
        const auto it = std::find(connections_.begin(), connections_.end(), connection);
        if (it == connections_.end()) return;
        connections_.erase(it);
        connection->deleteLater();
    }
    void DropAll() {
        auto connections = std::move(connections_);
        connections_.clear();
        for (Connection* connection : connections) {
            connection->Drop();
            connection->deleteLater();
        }
    }
    std::size_t Size() const { return connections_.size(); }

private:
    std::size_t bound_;
    std::vector<Connection*> connections_;
};

}  // namespace tovik
