// The runtime on loopback: how many received lines it handles per second,
// how fast a private message is answered with no typing time (in one event
// loop, and from a partner's socket to the partner's socket), how close a
// flood of questions comes to the pace the server allows, how long a flood
// of capability names holds up a PING, and how much CPU it uses while
// online and idle.

#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QCryptographicHash>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bot/BotRuntime.h"
#include "chat/Random.h"
#include "profile/ProfileStore.h"

namespace tovik {
namespace {

bool Await(const std::function<bool()>& pred, int ms = 10000) {
    const QDeadlineTimer deadline(ms);
    QTimer tick;
    tick.start(10);
    while (!pred()) {
        if (deadline.hasExpired()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

enum class Link { Tcp, Tls };

// A profile "bench" in dir for a bot that connects to 127.0.0.1:port.
ProfileContext BenchProfile(const QTemporaryDir& dir, const std::string& port, const std::string& pin,
                            const std::string& charTime) {
    QDir(dir.path()).mkpath("PROFILES");
    ProfileContext context(dir.path().toStdString(), "bench");
    ProfileFile profile(context.ProfilePath());
    profile.WriteValue("IRC", "Server", "127.0.0.1");
    profile.WriteValue("IRC", "Port", port);
    profile.WriteValue("IRC", "TLSFingerprint", pin);
    profile.WriteValue("General", "CharTime", charTime);
    // A profile written moments ago is re-read on every lookup (its
    // timestamp cannot yet tell a second change apart); a running bot's
    // profile is older than that, so date this one back an hour.
    timespec times[2] = {{time(nullptr) - 3600, 0}, {time(nullptr) - 3600, 0}};
    utimensat(AT_FDCWD, context.ProfilePath().c_str(), times, 0);
    return context;
}

// The capabilities today's servers offer, so that what is measured runs
// with them: tags on every line, typing notices where due.
constexpr const char* kCaps = "multi-prefix message-tags server-time";
// The bot creates its channel and is its operator, so it reports.
constexpr const char* kOwnChannel =
    ":srv 353 Tovik-B0T = #Tovik-B0T :@Tovik-B0T\r\n:srv 366 Tovik-B0T #Tovik-B0T :End\r\n";

std::string PrivateHi() {
    return "@time=" + QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs).toStdString() +
           " :anna!a@host PRIVMSG Tovik-B0T :hi\r\n";
}

// A self-signed certificate (EC P-256, made by the openssl tool) for a TLS
// server on loopback, and its fingerprint for the bot's profile.
bool MakeTlsServer(const QString& dir, QSslServer& server, std::string& pin) {
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                              "-days", "2", "-subj", "/CN=localhost", "-keyout", dir + "/key.pem", "-out",
                              dir + "/cert.pem"});
    if (!openssl.waitForFinished(20000) || openssl.exitCode() != 0) return false;
    QFile cert(dir + "/cert.pem");
    QFile key(dir + "/key.pem");
    if (!cert.open(QIODevice::ReadOnly) || !key.open(QIODevice::ReadOnly)) return false;
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setLocalCertificate(QSslCertificate(&cert, QSsl::Pem));
    configuration.setPrivateKey(QSslKey(&key, QSsl::Ec, QSsl::Pem));
    server.setSslConfiguration(configuration);
    pin = configuration.localCertificate().digest(QCryptographicHash::Sha256).toHex().toStdString();
    return true;
}

// The bot online against a loopback server that counts the lines it gets.
class Rig {
public:
    // `pace`: the send queue's; by default so fast that it never holds a
    // line, so that what is measured is the bot's own work.
    explicit Rig(const std::string& charTime, SendPace pace = {1'000'000, std::chrono::milliseconds(1)},
                 Link link = Link::Tcp) {
        std::string pin;
        if (link == Link::Tls) {
            auto tls = std::make_unique<QSslServer>();
            if (!MakeTlsServer(dir_.path(), *tls, pin)) return;
            server_ = std::move(tls);
        } else {
            server_ = std::make_unique<QTcpServer>();
        }
        server_->listen(QHostAddress::LocalHost, 0);
        std::string port = link == Link::Tls ? "+" : "";
        port += std::to_string(server_->serverPort());
        context_ = BenchProfile(dir_, port, pin, charTime);
        bot_ = std::make_unique<BotRuntime>(context_, random_, BotPorts{0, 0});
        BotTimings timings;
        timings.pace = pace;
        bot_->SetTimings(timings);
        QObject::connect(bot_.get(), &BotRuntime::LineReceived, [this](const std::string&) { ++received_; });
        clock_.start();
        bot_->OnlineButtonClick();
        // A TLS server offers the connection once its handshake is done.
        Await([this] { return server_->hasPendingConnections(); });
        client_ = server_->nextPendingConnection();
        if (!client_) return;
        QObject::connect(client_, &QTcpSocket::readyRead, [this] {
            const QByteArray bytes = client_->readAll();
            sent_ += static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
            for (qsizetype at = bytes.indexOf("PRIVMSG p"); at >= 0; at = bytes.indexOf("PRIVMSG p", at + 1)) {
                ++answers_;
                lastAnswerMs_ = clock_.elapsed();
            }
        });
        Await([this] { return sent_ >= 3; });  // CAP LS, NICK and USER
        Send(std::string(":srv CAP * LS :") + kCaps + "\r\n");
        Await([this] { return sent_ >= 4; });  // CAP REQ
        Send(std::string(":srv CAP * ACK :") + kCaps + "\r\n");
        Await([this] { return sent_ >= 5; });  // CAP END
        Send(std::string(":srv 376 Tovik-B0T :End of MOTD\r\n") + kOwnChannel);
        ready_ = Await([this] { return sent_ >= 9; }, 20000);
    }

    bool Ready() const { return ready_; }

    void Send(const std::string& bytes) {
        client_->write(bytes.data(), static_cast<qint64>(bytes.size()));
        client_->flush();
    }

    std::size_t received_ = 0;  // lines the bot handled
    std::size_t sent_ = 0;      // lines the bot sent
    std::size_t answers_ = 0;   // lines to partners whose nick starts with "p"
    QElapsedTimer clock_;       // since the rig was set up
    qint64 lastAnswerMs_ = 0;   // when the newest of those arrived

private:
    QTemporaryDir dir_;
    ProfileContext context_;
    Random random_;
    std::unique_ptr<QTcpServer> server_;  // a QSslServer for TLS
    QTcpSocket* client_ = nullptr;
    bool ready_ = false;
    std::unique_ptr<BotRuntime> bot_;
};

// Channel traffic that needs no answer, 10,000 lines per round.
void BM_ChannelTrafficLines(benchmark::State& state) {
    Rig rig("500");
    std::string block;
    const char* lines[] = {":anna!a@host.example PRIVMSG #plaudern :hallo zusammen, wie geht es euch heute?\r\n",
                           ":ben!b@other.example JOIN :#plaudern\r\n",
                           ":carl!c@third.example PRIVMSG #plaudern :ganz gut, danke der Nachfrage :)\r\n",
                           ":irc.example NOTICE * :*** Looking up your hostname...\r\n"};
    constexpr int kLines = 10'000;
    for (int i = 0; i < kLines; ++i) block += lines[i % 4];
    for (auto _ : state) {
        const std::size_t target = rig.received_ + kLines;
        rig.Send(block);
        if (!Await([&] { return rig.received_ >= target; })) state.SkipWithError("lines lost");
    }
    state.SetItemsProcessed(state.iterations() * kLines);
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_ChannelTrafficLines)->Unit(benchmark::kMillisecond)->UseRealTime();

// From a private message leaving the server to the reply line arriving back,
// over plain TCP and over TLS.
void BM_ReplyLatencyNoTypingTime(benchmark::State& state) {
    Rig rig("0", {1'000'000, std::chrono::milliseconds(1)}, state.range(0) == 1 ? Link::Tls : Link::Tcp);
    if (!rig.Ready()) {
        state.SkipWithError("the bot did not get online");
        return;
    }
    std::vector<double> latencies;
    for (auto _ : state) {
        const std::size_t target = rig.sent_ + 3;  // report, reply report, reply
        QElapsedTimer clock;
        clock.start();
        rig.Send(PrivateHi());
        if (!Await([&] { return rig.sent_ >= target; })) state.SkipWithError("no reply");
        const double seconds = static_cast<double>(clock.nsecsElapsed()) * 1e-9;
        state.SetIterationTime(seconds);
        latencies.push_back(seconds * 1e6);
    }
    std::sort(latencies.begin(), latencies.end());
    state.counters["median_us"] = latencies[latencies.size() / 2];
    state.counters["p95_us"] = latencies[latencies.size() * 95 / 100];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
}
BENCHMARK(BM_ReplyLatencyNoTypingTime)
    ->ArgName("tls")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

// The IRC server with a partner on it, in a thread of its own with blocking
// sockets, as another process would be: the bot's event loop has the main
// thread to itself, and each trip runs from the partner's write of a
// private message to its read of the answer, the kernel's loopback and both
// wake-ups included.
class PartnerServer {
public:
    PartnerServer() : listener_(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) == 0 && ::listen(listener_, 1) == 0 &&
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port_ = ntohs(address.sin_port);
    }
    ~PartnerServer() {
        if (thread_.joinable()) thread_.join();
        for (int fd : {listener_, connection_})
            if (fd >= 0) ::close(fd);
    }
    quint16 Port() const { return port_; }

    // Registers the bot (as the operator of its channel when `reports`),
    // then asks `trips` times, `gap` after each answer.
    void Start(bool reports, int trips, std::chrono::milliseconds gap) {
        thread_ = std::thread([=, this] {
            if (!Register(reports)) error_ = "the bot did not get online";
            for (int trip = 0; trip < trips && error_.empty(); ++trip) {
                const std::string question = PrivateHi();
                const auto start = std::chrono::steady_clock::now();
                if (!Write(question) || !Await("PRIVMSG anna :")) {
                    error_ = "no answer";
                    break;
                }
                trips_.push_back(std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start).count());
                std::this_thread::sleep_for(gap);
            }
            done_ = true;
            // Wakes the bot's event loop, which waits for this.
            QMetaObject::invokeMethod(QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
        });
    }
    bool Done() const { return done_; }
    const std::string& Error() const { return error_; }
    // Microseconds, in order.
    std::vector<double> Trips() const { return trips_; }

private:
    bool Register(bool reports) {
        pollfd waiting{listener_, POLLIN, 0};
        if (::poll(&waiting, 1, 20'000) != 1) return false;
        connection_ = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        return Await("USER ") && Write(std::string(":srv CAP * LS :") + kCaps + "\r\n") && Await("CAP REQ") &&
               Write(std::string(":srv CAP * ACK :") + kCaps + "\r\n") && Await("CAP END") &&
               Write(":srv 376 Tovik-B0T :End of MOTD\r\n") && Await("JOIN ") &&
               (!reports || (Write(kOwnChannel) && Await("TOPIC ")));
    }
    bool Write(const std::string& bytes) {
        return ::send(connection_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Reads the bot's lines up to and including the next that starts with
    // `prefix`; false after ten seconds without it.
    bool Await(const std::string& prefix) {
        for (;;) {
            for (std::size_t end; (end = buffer_.find("\r\n")) != std::string::npos;) {
                const bool found = buffer_.compare(0, prefix.size(), prefix) == 0;
                buffer_.erase(0, end + 2);
                if (found) return true;
            }
            pollfd readable{connection_, POLLIN, 0};
            char bytes[4096];
            if (::poll(&readable, 1, 10'000) != 1) return false;
            const ssize_t got = ::recv(connection_, bytes, sizeof bytes, 0);
            if (got <= 0) return false;
            buffer_.append(bytes, static_cast<std::size_t>(got));
        }
    }

    int listener_;
    int connection_ = -1;
    quint16 port_ = 0;
    std::string buffer_;
    std::thread thread_;
    std::atomic<bool> done_{false};
    std::string error_;
    std::vector<double> trips_;
};

// The whole road of an answer with no typing time: the partner writes, the
// server's socket carries it, the bot reads, answers, writes, and the
// partner reads the answer. With the command channel the answer goes after
// the report of the message and its own ("<--", "-->"); without it alone.
// After a pause the bot meets the message with cold caches, as between a
// person's messages. Run it on one core (taskset -c 1) for a steady figure:
// on two, each trip may or may not wait for the other core to wake.
void BM_AnswerRoadSocketToSocket(benchmark::State& state) {
    const bool reports = state.range(0) != 0;
    const std::chrono::milliseconds gap(state.range(1));
    const int trips = gap.count() > 0 ? 100 : 2000;
    PartnerServer server;
    QTemporaryDir dir;
    ProfileContext context = BenchProfile(dir, std::to_string(server.Port()), "", "0");
    Random random;
    BotRuntime bot(context, random, BotPorts{0, 0});
    BotTimings timings;
    timings.pace = {1'000'000, std::chrono::milliseconds(1)};  // never holds a line
    bot.SetTimings(timings);
    for (auto _ : state) {
        server.Start(reports, trips, gap);
        bot.OnlineButtonClick();
        while (!server.Done()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
        bot.OfflineButtonClick();
        std::vector<double> us = server.Trips();
        if (!server.Error().empty() || us.empty()) {
            state.SkipWithError(server.Error().c_str());
            return;
        }
        std::sort(us.begin(), us.end());
        state.SetIterationTime(us[us.size() / 2] * 1e-6);
        state.counters["median_us"] = us[us.size() / 2];
        state.counters["p95_us"] = us[us.size() * 95 / 100];
        state.counters["p99_us"] = us[us.size() * 99 / 100];
        state.counters["trips"] = static_cast<double>(us.size());
    }
}
BENCHMARK(BM_AnswerRoadSocketToSocket)
    ->ArgNames({"reports", "gap_ms"})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Args({0, 100})
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(1);

// N questions from M partners at once through a server that takes one line
// per interval (a tenth of a live network's second, so that a run takes
// seconds): how long until the last answer, against the least that pace
// allows: the answer lines one interval apart after the first one's
// typing time. Reports share the pace but come last.
void BM_PacedAnswers(benchmark::State& state) {
    const int partners = static_cast<int>(state.range(0));
    const int questions = static_cast<int>(state.range(1));
    constexpr auto kInterval = std::chrono::milliseconds(100);
    constexpr int kCharTime = 5;
    const char* texts[] = {"hallo", "wie alt bist du?", "woher kommst du?", "was machst du so?", "magst du musik?"};
    double ratio = 0;
    for (auto _ : state) {
        Rig rig(std::to_string(kCharTime), SendPace{5, kInterval});
        // Let the allowance that the set-up spent come back.
        QEventLoop settle;
        QTimer::singleShot(6 * static_cast<int>(kInterval.count()), &settle, &QEventLoop::quit);
        settle.exec();
        std::string flood;
        for (int q = 0; q < questions; ++q)
            for (int p = 0; p < partners; ++p)
                flood += ":p" + std::to_string(p) + "!u@h PRIVMSG Tovik-B0T :" + texts[q % 5] + "\r\n";
        const qint64 start = rig.clock_.elapsed();
        rig.Send(flood);
        // Each of these questions has a one-line answer of about 10 to 30
        // characters; wait until the flow of answers stops.
        std::size_t seen = 0;
        while (rig.clock_.elapsed() - start < 600'000) {
            QEventLoop wait;
            QTimer::singleShot(3 * static_cast<int>(kInterval.count()), &wait, &QEventLoop::quit);
            wait.exec();
            if (rig.answers_ == seen && seen >= static_cast<std::size_t>(partners * questions)) break;
            seen = rig.answers_;
        }
        const double took = static_cast<double>(rig.lastAnswerMs_ - start) / 1000.0;
        const double bound = (static_cast<double>(seen) - 1) * std::chrono::duration<double>(kInterval).count() +
                             30.0 * kCharTime / 1000.0;
        ratio = took / bound;
        state.SetIterationTime(took);
        state.counters["answer_lines"] = static_cast<double>(seen);
        state.counters["bound_s"] = bound;
    }
    state.counters["took_over_bound"] = ratio;
}
// 80 questions either way: from 8 partners, and from 4 who each ask as many
// as one partner may have waiting (20).
BENCHMARK(BM_PacedAnswers)->Args({8, 10})->Args({4, 20})->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

// A server floods the bot with capability names it announces and withdraws
// (CAP NEW, then CAP DEL, 4,000 names a line) and then PINGs: from the first
// byte to the PONG. Each name costs a look-up, and none is kept.
void BM_CapNewAndDelFlood(benchmark::State& state) {
    Rig rig("500");
    if (!rig.Ready()) {
        state.SkipWithError("the bot did not get online");
        return;
    }
    const int names = static_cast<int>(state.range(0));
    constexpr int kPerLine = 4000;
    std::string added, removed;
    for (int first = 0; first < names; first += kPerLine) {
        std::string line;
        // Piece by piece: GCC 12 at -O2 misreads the one-expression concatenation (-Wrestrict).
        for (int n = first; n < std::min(names, first + kPerLine); ++n) {
            if (n != first) line += ' ';
            line += "x-cap-";
            line += std::to_string(n);
        }
        added += ":srv CAP Tovik-B0T NEW :" + line + "\r\n";
        removed += ":srv CAP Tovik-B0T DEL :" + line + "\r\n";
    }
    const std::string flood = added + removed + "PING :flood\r\n";
    for (auto _ : state) {
        const std::size_t target = rig.sent_ + 1;  // the PONG
        QElapsedTimer clock;
        clock.start();
        rig.Send(flood);
        if (!Await([&] { return rig.sent_ >= target; }, 120'000)) state.SkipWithError("no PONG");
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) * 1e-9);
    }
    state.counters["names"] = names;
}
BENCHMARK(BM_CapNewAndDelFlood)->Arg(100'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

// Online, in the command channel, nothing happening: one second of event loop.
void BM_IdleOnlineCpu(benchmark::State& state) {
    Rig rig("500");
    double cpu = 0;
    for (auto _ : state) {
        const double before = CpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(1000, &loop, &QEventLoop::quit);
        loop.exec();
        cpu += CpuSeconds() - before;
    }
    state.counters["cpu_percent"] = 100.0 * cpu / static_cast<double>(state.iterations());
}
BENCHMARK(BM_IdleOnlineCpu)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
}  // namespace tovik
