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

namespace {

constexpr QFile::Permissions kReadableByAll =
    QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;

// Runs a short tool to its end; false with its output in *why otherwise.
bool RunTool(const QString& program, const QStringList& args, std::string* why) {
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    tool.start(program, args);
    const bool finished = tool.waitForFinished(30000);
    if (finished && tool.exitStatus() == QProcess::NormalExit && tool.exitCode() == 0) return true;
    if (!finished) {
        tool.kill();
        tool.waitForFinished(5000);
    }
    if (why)
        *why = (program + " " + args.join(' ')).toStdString() + " failed:\n" + tool.readAll().toStdString() +
               tool.errorString().toStdString();
    return false;
}

}  // namespace

std::optional<TestCertificate> MakeTestCertificate(const QString& dir, std::string* why) {
    TestCertificate made{dir + "/cert.pem", dir + "/key.pem", dir + "/dh.pem", {}};
    if (!RunTool(kOpensslBinary,
                 {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes", "-keyout",
                  made.keyFile, "-out", made.certFile, "-days", "2", "-subj", "/CN=localhost", "-addext",
                  "subjectAltName=DNS:localhost,IP:127.0.0.1"},
                 why))
        return std::nullopt;
    // GnuTLS servers want DH parameters for the old key exchanges.
    if (!RunTool(kOpensslBinary,
                 {"genpkey", "-genparam", "-algorithm", "DH", "-pkeyopt", "group:ffdhe2048", "-out", made.dhFile},
                 why))
        return std::nullopt;
    for (const QString& file : {made.certFile, made.keyFile, made.dhFile}) QFile::setPermissions(file, kReadableByAll);
    const auto certificates = QSslCertificate::fromPath(made.certFile, QSsl::Pem);
    if (certificates.size() != 1) {
        if (why) *why = "the certificate made by openssl cannot be read";
        return std::nullopt;
    }
    made.fingerprint = certificates.front().digest(QCryptographicHash::Sha256).toHex(':').toUpper().toStdString();
    return made;
}

quint16 FreeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace tovik::test
