#pragma once
// Small helpers for the test suite.

#include <QCoreApplication>
#include <QString>
#include <QTemporaryDir>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tovik::test {

// Shows control and non-ASCII bytes as \xNN, so that failures read clearly.
std::string Escaped(std::string_view bytes);

// Whole file as bytes ("" when it cannot be read), and writing bytes.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, std::string_view bytes);

// Processes events until pred() holds or timeoutMs passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);

// A loopback TCP port that was free a moment ago, for a server the test starts.
quint16 FreeLoopbackPort();

inline constexpr const char* kOpensslBinary = "/usr/bin/openssl";

// A certificate, its key and Diffie-Hellman parameters in PEM files, all
// readable by everyone: the servers may read them after dropping to an
// unprivileged user, and the key protects nothing but a test.
struct TestCertificate {
    QString certFile;
    QString keyFile;
    QString dhFile;
    std::string fingerprint;  // SHA-256 of the certificate, "AA:BB:..."
};

// Makes a self-signed certificate for CN and SAN localhost / 127.0.0.1,
// valid for two days, with an EC P-256 key (made in an instant, unlike
// RSA), in `dir`. The DH parameters are the fixed RFC 7919 group, so no
// prime has to be searched for either. Empty on failure, with the reason in
// *why.
std::optional<TestCertificate> MakeTestCertificate(const QString& dir, std::string* why);

// A QCoreApplication for tests that need an event loop but no widgets.
// Returns the existing instance if there is one.
QCoreApplication& EnsureApp();

}  // namespace tovik::test
