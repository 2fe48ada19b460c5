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
    // A reset of an open connection arrives as RemoteHostClosedError; an
    // unreachable network or host, or a connect that timed out, as
    // NetworkError, which does not say which.
    default: return 0;
    }
}

std::string SocketFailureText(QAbstractSocket::SocketError error, const QString& qtText, std::string_view api) {
    if (error == QAbstractSocket::HostNotFoundError)
        return SocketError("Host nicht gefunden", 11001, "ASync Lookup").what();
    if (const int number = ErrnoOf(error); number != 0) return SocketError(number).what();
    return SocketError(Utf8ToCp1252(qtText.toStdString()), api).what();
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
    const int number = ErrnoOf(server.serverError());
    if (number == 0) throw SocketError(SystemText(server), "bind");
    throw SocketError(SystemText(server), number, "bind");
}

}  // namespace tovik
