// DCC throughput: a 100 MB picture to one loopback receiver that acknowledges
// every read the way DCC clients do. Reports bytes per second and how much
// the server's memory grew while streaming (it must not hold the file).

#include <QCoreApplication>
#include <QEventLoop>
#include <QTemporaryDir>
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fstream>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "services/DCCServer.h"

namespace {

constexpr std::uint64_t kFileBytes = 100ull * 1024 * 1024;

// A field of /proc/self/status in KiB ("VmHWM", "VmRSS"); -1 when absent.
long StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field + ":", 0) == 0) return std::stol(line.substr(field.size() + 1));
    return -1;
}

// Lets VmHWM start again from the current RSS, so the peak of one transfer
// is measured on its own. False where the kernel does not allow it.
bool ResetPeakRss() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    return static_cast<bool>(clear);
}

void WritePicture(const std::string& path) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::mt19937 gen(7);
    std::vector<char> block(1024 * 1024);
    for (std::uint64_t written = 0; written < kFileBytes; written += block.size()) {
        for (char& c : block) c = static_cast<char>(gen());
        out.write(block.data(), static_cast<std::streamsize>(block.size()));
    }
}

// A blocking receiver: reads into a fixed buffer, acknowledges each read
// with the running total (4 bytes, big-endian), returns the bytes received
// once the server has closed the connection.
std::uint64_t Receive(quint16 port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return 0;
    }
    std::vector<char> buffer(64 * 1024);
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.data(), buffer.size());
        if (n <= 0) break;
        total += static_cast<std::uint64_t>(n);
        const std::uint32_t ack = htonl(static_cast<std::uint32_t>(total));
        if (::write(fd, &ack, sizeof ack) != sizeof ack) break;
    }
    ::close(fd);
    return total;
}

void BM_DCCStream100MB(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.path().toStdString() + "/bild.jpg";
    WritePicture(path);
    tovik::DCCServer server(0, [&] { return path; });

    long worstPeakGrowthKiB = 0;
    long worstRssGrowthKiB = 0;
    bool peakReset = true;
    for (auto _ : state) {
        server.SwitchOn();
        const quint16 port = server.Port();
        peakReset = ResetPeakRss() && peakReset;
        const long rssBefore = StatusKiB("VmRSS");
        const long peakBefore = StatusKiB("VmHWM");

        QEventLoop loop;
        std::uint64_t received = 0;
        std::thread receiver([&] {
            received = Receive(port);
            QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
        });
        loop.exec();
        receiver.join();

        worstPeakGrowthKiB = std::max(worstPeakGrowthKiB, StatusKiB("VmHWM") - peakBefore);
        worstRssGrowthKiB = std::max(worstRssGrowthKiB, StatusKiB("VmRSS") - rssBefore);
        if (received != kFileBytes) {
            state.SkipWithError("receiver did not get the whole file");
            break;
        }
        QCoreApplication::processEvents();  // let the closed transfer go
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kFileBytes));
    state.counters["peak_rss_growth_MB"] = static_cast<double>(worstPeakGrowthKiB) / 1024.0;
    state.counters["rss_growth_MB"] = static_cast<double>(worstRssGrowthKiB) / 1024.0;
    state.counters["peak_reset"] = peakReset ? 1 : 0;
}
BENCHMARK(BM_DCCStream100MB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);

}  // namespace
