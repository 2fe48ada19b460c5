#pragma once
// Small helpers for the test suite.

#include <QCoreApplication>
#include <QTemporaryDir>
#include <functional>
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

// A self-signed certificate for "localhost" and 127.0.0.1, made with the
// openssl tool in `dir` (cert.pem, key.pem); empty paths when that failed.
struct TestCertificate {
    std::string certPath;
    std::string keyPath;
    std::string sha256;  // the certificate's SHA-256 digest, raw bytes
    std::string Fingerprint() const;  // "AB:CD:...", as the bot prints it
};
TestCertificate MakeTestCertificate(const std::string& dir);

// A QCoreApplication for tests that need an event loop but no widgets.
// Returns the existing instance if there is one.
QCoreApplication& EnsureApp();

}  // namespace tovik::test
