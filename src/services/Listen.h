#pragma once
// What the sockets share: opening a listener with the program's error text,
// and the one mapping from Qt's socket errors to the errno numbers that the
// error texts carry (used by the IRC client and both side services).

#include <QAbstractSocket>

class QHostAddress;
class QTcpServer;

namespace tovik {

// Starts `server` listening on address:port. Throws SocketError
// ("Windows-Socket-Fehler: <text> (<number>), auf API 'bind'") when it cannot.
void ListenOrThrow(QTcpServer& server, const QHostAddress& address, quint16 port);

// The errno value that best describes a Qt socket error (EADDRINUSE for
// AddressInUseError, ...); EIO when Qt's error has no closer match.
int ErrnoOf(QAbstractSocket::SocketError error);

// A peer that closes or resets its end is the normal end of a service
// connection, not a fault worth showing the operator.
bool IsPeerClosing(QAbstractSocket::SocketError error);

}  // namespace tovik
