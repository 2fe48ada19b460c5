// tovik-botd as a service runs it: started with a profile, online on a
// loopback server over plain TCP or TLS, in its command channel, then left
// alone. What it holds resident then (VmRSS) is what a small server pays for
// weeks; the peak (VmHWM) and the time from start to the channel join come
// along. Build in a release configuration: build-rel/bench/app/app_bench

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

bool Await(const std::function<bool()>& done, int ms) {
    const QDeadlineTimer deadline(ms);
    QTimer tick;
    tick.start(10);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    return done();
}

// A status line of /proc/<pid>/status in KiB ("VmRSS", "VmHWM").
double StatusKiB(qint64 pid, const std::string& key) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(key + ":")) return std::stod(line.substr(key.size() + 1));
    return 0;
}

// A TLS server with a self-signed EC certificate made by the openssl tool;
// its SHA-256 fingerprint pins it in the bot's profile.
std::unique_ptr<QSslServer> TlsServer(const QString& dir, std::string& pin) {
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                              "-days", "2", "-subj", "/CN=localhost", "-keyout", dir + "/key.pem", "-out",
                              dir + "/cert.pem"});
    QFile cert(dir + "/cert.pem");
    QFile key(dir + "/key.pem");
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0 || !cert.open(QIODevice::ReadOnly) ||
        !key.open(QIODevice::ReadOnly))
        return nullptr;
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
    tls.setPrivateKey(QSslKey(&key, QSsl::Ec, QSsl::Pem));
    pin = tls.localCertificate().digest(QCryptographicHash::Sha256).toHex().toStdString();
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(tls);
    return server;
}

// Online and idle: the server answers the registration and the join, then
// says nothing for `idleMs`.
void BM_HeadlessIdleMemory(benchmark::State& state) {
    const bool tls = state.range(0) == 1;
    constexpr int kIdleMs = 3000;
    for (auto _ : state) {
        QTemporaryDir dir;
        QDir(dir.path()).mkpath("PROFILES");
        std::string pin;
        std::unique_ptr<QTcpServer> server = tls ? TlsServer(dir.path(), pin) : std::make_unique<QTcpServer>();
        if (!server || !server->listen(QHostAddress::LocalHost, 0)) {
            state.SkipWithError("no loopback server");
            return;
        }
        std::ofstream(dir.path().toStdString() + "/PROFILES/bench.ini", std::ios::binary)
            << "[IRC]\r\nServer=127.0.0.1\r\nPort=" << (tls ? "+" : "") << server->serverPort()
            << "\r\nTLSFingerprint=" << pin << "\r\nBotNick=bench\r\nCommandoChannel=#ctl\r\n"
            << "[General]\r\nCharTime=0\r\n";
        QProcess bot;
        bot.setWorkingDirectory(dir.path());
        bot.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QElapsedTimer clock;
        clock.start();
        bot.start(TOVIK_DAEMON, {"--online", "--profile", "bench"});
        QTcpSocket* client = nullptr;
        std::string heard;
        bool listed = false;
        bool welcomed = false;
        bool joined = false;
        Await([&] { return server->hasPendingConnections(); }, 20000);
        const auto answer = [&] {
            heard += client->readAll().toStdString();
            const auto said = [&](const char* text) { return heard.find(text) != std::string::npos; };
            if (!listed && said("USER")) {
                listed = true;
                client->write(":srv CAP * LS :\r\n");
            }
            if (!welcomed && said("CAP END")) {
                welcomed = true;
                client->write(":srv 001 bench :Welcome\r\n:srv 376 bench :End of MOTD\r\n");
            }
            if (!joined && said("JOIN #ctl")) {
                joined = true;
                client->write(":bench!u@h JOIN :#ctl\r\n:srv 353 bench = #ctl :@bench\r\n"
                              ":srv 366 bench #ctl :End of NAMES\r\n");
            }
        };
        // Over TLS the first lines may have come with the handshake.
        if ((client = server->nextPendingConnection()) != nullptr) {
            QObject::connect(client, &QTcpSocket::readyRead, answer);
            answer();
        }
        if (!Await([&] { return joined; }, 20000)) {
            state.SkipWithError("the bot did not get into its channel");
            bot.kill();
            bot.waitForFinished(5000);
            return;
        }
        const double startupMs = static_cast<double>(clock.elapsed());
        QEventLoop idle;
        QTimer::singleShot(kIdleMs, &idle, &QEventLoop::quit);
        idle.exec();
        state.counters["idle_rss_kib"] = StatusKiB(bot.processId(), "VmRSS");
        state.counters["peak_rss_kib"] = StatusKiB(bot.processId(), "VmHWM");
        state.counters["startup_ms"] = startupMs;
        bot.terminate();
        bot.waitForFinished(5000);
    }
}
BENCHMARK(BM_HeadlessIdleMemory)->ArgName("tls")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
