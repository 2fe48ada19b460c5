#pragma once
// What the sockets share: opening a listener with the program's error text,
// and the one mapping from Qt's socket errors to the errno numbers that the
// error texts carry (used by the IRC client and both side services).

#include <QAbstractSocket>
#include <string>
#include <string_view>

class QHostAddress;
class QTcpServer;

namespace tovik {

// Starts `server` listening on address:port. Throws SocketError
// ("Windows-Socket-Fehler: <text> (<number>), auf API 'bind'") when it cannot.
void ListenOrThrow(QTcpServer& server, const QHostAddress& address, quint16 port);

// The errno value behind a Qt socket error (EADDRINUSE for
// AddressInUseError, ...), or 0 where Qt's error does not tell one: it
// folds ETIMEDOUT, EHOSTUNREACH and ENETUNREACH into NetworkError, and
// anything it does not know into UnknownSocketError.
int ErrnoOf(QAbstractSocket::SocketError error);

// The operator's text for a socket that failed, the one mapping for the IRC
// connection and both side services: "Asynchroner Socket-Fehler <errno>"
// where Qt's error names the errno, else Qt's own description of it
// ("Windows-Socket-Fehler: Network unreachable, auf API 'connect'"), never
// a number that may be wrong.
std::string SocketFailureText(QAbstractSocket::SocketError error, const QString& qtText, std::string_view api);

// A peer that closes or resets its end is the normal end of a service
// connection, not a fault worth showing the operator.
bool IsPeerClosing(QAbstractSocket::SocketError error);

}  // namespace tovik
