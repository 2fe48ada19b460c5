#include "TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QProcess>
#include <QSslCertificate>
#include <QTcpServer>

#include <QTest>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>

namespace tovik::test {

std::string Escaped(std::string_view bytes) {
    std::string out;
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            out += buf;
        }
    }
    return out;
}

std::string ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const std::string& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs) {
    return QTest::qWaitFor(pred, timeoutMs);
}

QCoreApplication& EnsureApp() {
    if (auto* app = QCoreApplication::instance()) return *app;
    static int argc = 1;
    static char name[] = "tovik-tests";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    return *app;
}

TestCertificate MakeTestCertificate(const std::string& dir) {
    const QString cert = QString::fromStdString(dir + "/cert.pem");
    const QString key = QString::fromStdString(dir + "/key.pem");
    QProcess openssl;
    openssl.setProcessChannelMode(QProcess::MergedChannels);
    // An EC key: made in milliseconds, where RSA takes a noticeable while.
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                              "-days", "2", "-subj", "/CN=localhost", "-addext",
                              "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out", cert});
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0) return {};
    QFile file(cert);
    if (!file.open(QIODevice::ReadOnly)) return {};
    const QSslCertificate certificate(&file, QSsl::Pem);
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    return {cert.toStdString(), key.toStdString(), std::string(digest.constData(), static_cast<std::size_t>(digest.size()))};
}

std::string TestCertificate::Fingerprint() const {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char byte : sha256) {
        if (!out.empty()) out += ':';
        out += kHex[byte >> 4];
        out += kHex[byte & 0x0F];
    }
    return out;
}

quint16 FreeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace tovik::test
