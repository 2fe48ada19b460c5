#include "services/Listen.h"

#include <QHostAddress>
#include <QTcpServer>
#include <cerrno>
#include <string>

#include "text/Cp1252.h"
#include "text/Errors.h"

namespace tovik {

int ErrnoOf(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::AddressInUseError: return EADDRINUSE;
    case QAbstractSocket::SocketAccessError: return EACCES;
    case QAbstractSocket::SocketAddressNotAvailableError: return EADDRNOTAVAIL;
    case QAbstractSocket::UnsupportedSocketOperationError: return EAFNOSUPPORT;
    case QAbstractSocket::SocketResourceError: return EMFILE;
    case QAbstractSocket::ConnectionRefusedError: return ECONNREFUSED;
    case QAbstractSocket::RemoteHostClosedError: return ECONNRESET;
    case QAbstractSocket::SocketTimeoutError: return ETIMEDOUT;
    // Qt reports an unreachable network or host on connect as NetworkError;
    // a reset of an open connection arrives as RemoteHostClosedError.
    case QAbstractSocket::NetworkError: return ENETUNREACH;
    case QAbstractSocket::HostNotFoundError: return EHOSTUNREACH;
    default: return EIO;
    }
}

bool IsPeerClosing(QAbstractSocket::SocketError error) {
    return error == QAbstractSocket::RemoteHostClosedError;
}

namespace {

// The operator reads German; these are the system's wording for the errors a
// listener meets in practice. Anything rarer keeps Qt's own description.
std::string SystemText(const QTcpServer& server) {
    switch (server.serverError()) {
    case QAbstractSocket::AddressInUseError: return "Die Adresse wird bereits verwendet";
    case QAbstractSocket::SocketAccessError: return "Keine Berechtigung";
    case QAbstractSocket::SocketAddressNotAvailableError:
        return "Die angeforderte Adresse kann nicht zugewiesen werden";
    case QAbstractSocket::SocketResourceError: return "Zu viele offene Dateien";
    default: return Utf8ToCp1252(server.errorString().toStdString());
    }
}

}  // namespace

void ListenOrThrow(QTcpServer& server, const QHostAddress& address, quint16 port) {
    if (server.listen(address, port)) return;
    throw SocketError(SystemText(server), ErrnoOf(server.serverError()), "bind");
}

}  // namespace tovik
