#include "TestSupport.h"

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

quint16 FreeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

}  // namespace tovik::test
