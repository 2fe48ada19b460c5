#pragma once
// IRC servers with TLS, and services that log users in with SASL, for the
// tests of the bot's secure connections. Everything runs on loopback with
// configuration written into the test's temporary directory:
//
//   - ngircd with a plain and a TLS client port;
//   - InspIRCd with a plain and a TLS client port and today's client
//     capabilities (message-tags, server-time, multi-prefix, cap-notify, and
//     an STS policy on request), linked to atheme-services (NickServ for
//     accounts and their certificates, SaslServ for PLAIN and EXTERNAL).
//
// Every server is a child process of the test and ends with it.

#include <QProcess>
#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "TestSupport.h"
#include <vector>

#include <sys/types.h>

namespace tovik::test {

inline constexpr const char* kNgircdBinary = "/usr/sbin/ngircd";
inline constexpr const char* kInspircdBinary = "/usr/sbin/inspircd";
inline constexpr const char* kAthemeBinary = "/usr/bin/atheme-services";

// Distinct loopback ports that were free a moment ago.
std::vector<quint16> FreeLoopbackPorts(std::size_t count);

// The part of an InspIRCd configuration that every test server shares: the
// connect class as Debian ships it (penalty threshold 10, recvq and soft
// sendq 8K, hard sendq 256K), with only the clone limit raised, since every
// user here comes from 127.0.0.1, and no host name look-ups, since no
// resolver answers here and each would stall a registration.
std::string InspircdClientRules(const QString& logFile);

// Whether something accepts TCP connections on the loopback port.
bool Accepts(quint16 port);


// One server in the foreground, owned by the test. It is stopped with
// SIGKILL by default: InspIRCd built with GnuTLS crashes on its way out
// after SIGTERM, and a kill can never hang a test.
class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { Stop(); }

    // runAs: user and group ids to switch to before exec, or none.
    bool Start(const QString& program, const QStringList& args, const QString& workingDir,
               std::optional<std::pair<uid_t, gid_t>> runAs = std::nullopt);
    void Stop(bool gently = false);
    bool Running() const { return process_ && process_->state() != QProcess::NotRunning; }
    std::string Output();

private:
    std::unique_ptr<QProcess> process_;
    std::string output_;
};

// ngircd with a plain port and a TLS port.
class TlsNgircd {
public:
    TlsNgircd(QString dir, TestCertificate certificate);
    bool Start(std::string* why);
    void Stop() { server_.Stop(); }
    quint16 PlainPort() const { return plainPort_; }
    quint16 TlsPort() const { return tlsPort_; }
    std::string Output() { return "ngircd:\n" + server_.Output(); }

private:
    QString dir_;
    TestCertificate certificate_;
    quint16 plainPort_ = 0;
    quint16 tlsPort_ = 0;
    ServerProcess server_;
};

// InspIRCd with a plain and a TLS client port and a server port on which
// atheme-services links in. Start() returns once NickServ and SaslServ are
// on the network. The TLS port asks clients for a certificate, so that
// NickServ and SaslServ see its fingerprint.
class ServicesNetwork {
public:
    ServicesNetwork(QString dir, TestCertificate certificate);
    ~ServicesNetwork() { Stop(); }
    // Before Start(): the plain port sends clients to the TLS port, and the
    // TLS port announces a policy of `duration` (InspIRCd's notation, "5m").
    void OfferSts(std::string duration) { stsDuration_ = std::move(duration); }
    bool Start(std::string* why);
    void Stop();
    quint16 PlainPort() const { return plainPort_; }
    quint16 TlsPort() const { return tlsPort_; }
    std::string Output();

    // Registers `account` with NickServ as a plain client whose nick is the
    // account name, and waits for NickServ's confirmation.
    bool RegisterAccount(const std::string& account, const std::string& password, std::string* why);
    // Identifies to `account` with its password and adds the certificate
    // fingerprint (lower-case hex, as the server computes it) with NickServ
    // CERT ADD, waiting for NickServ's confirmation.
    bool AddCertificate(const std::string& account, const std::string& password, const std::string& fingerprint,
                        std::string* why);

private:
    QStringList WriteInspircdConfig();
    QStringList WriteAthemeConfig(std::string* why);

    QString dir_;
    TestCertificate certificate_;
    quint16 plainPort_ = 0;
    quint16 tlsPort_ = 0;
    quint16 linkPort_ = 0;
    std::string stsDuration_;
    std::optional<std::pair<uid_t, gid_t>> servicesUser_;
    ServerProcess ircd_;
    ServerProcess services_;
};

}  // namespace tovik::test
