// The whole program under a flood: the main window (offscreen, shown) is
// online to a loopback server that sends one million channel lines; the
// time runs until every line is in the log. This includes the runtime's
// handling of each line, not only the log view.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <string>
#include <unistd.h>

#include "chat/Random.h"
#include "profile/ProfileStore.h"
#include "ui/LogView.h"
#include "ui/MainForm_Unit.h"
#include "ui/ProfileForm_Unit.h"
#include "ui/UserPrompts.h"

#include <QLineEdit>

namespace {

class SilentPrompts : public tovik::UserPrompts {
public:
    void Error(const QString&, const QString& text) override { std::fprintf(stderr, "error: %s\n", qPrintable(text)); }
    bool Question(const QString&, const QString&, bool) override { return true; }
    QString OpenFile(QWidget*, const QString&, const QString&, const QString&) override { return {}; }
};

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

void BM_MainWindowFlood(benchmark::State& state) {
    const long lines = state.range(0);
    QByteArray flood;
    for (long i = 0; i < lines; ++i)
        flood += ":Nick" + QByteArray::number(i % 97) + "!user@host.example.net PRIVMSG #kanal :Nachricht Nummer " +
                 QByteArray::number(i) + " \xFC" "ber alles\r\n";

    for (auto _ : state) {
        QTemporaryDir dir;
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QDir(dir.path()).mkdir(QStringLiteral("PROFILES"));
        QTcpServer server;
        server.listen(QHostAddress::LocalHost, 0);

        SilentPrompts prompts;
        tovik::Random random;
        tovik::TMainForm form(random, prompts, tovik::BotPorts{0, 0});
        form.show();
        form.ProfileForm()->ProfileEdit->setText(QStringLiteral("flood"));
        form.ProfileForm()->CreateButtonClick();
        tovik::ProfileFile profile(form.Context().ProfilePath());
        profile.WriteValue("IRC", "Server", "127.0.0.1");
        profile.WriteValue("IRC", "Port", std::to_string(server.serverPort()));
        form.OnlineButtonClick();
        while (!server.hasPendingConnections()) QApplication::processEvents(QEventLoop::AllEvents, 10);
        QTcpSocket* peer = server.nextPendingConnection();

        const long before = ResidentBytes();
        QElapsedTimer clock;
        clock.start();
        peer->write(flood);
        auto logged = [&] { return form.LogMemo->ViewLineCount() + form.LogMemo->SpilledLineCount(); };
        while (logged() < lines) {
            QApplication::processEvents(QEventLoop::AllEvents, 10);
            if (clock.elapsed() > 120000) break;
        }
        form.LogMemo->Flush();
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.counters["lines_logged"] = static_cast<double>(logged());
        state.counters["rss_growth_MB"] = static_cast<double>(ResidentBytes() - before) / (1024.0 * 1024.0);
        form.OfflineButtonClick();
        form.hide();
        QDir::setCurrent(oldCwd);
    }
    state.SetItemsProcessed(state.iterations() * lines);
}
BENCHMARK(BM_MainWindowFlood)->Arg(1'000'000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

long OpenDescriptors() {
    return static_cast<long>(QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::Files | QDir::System).size());
}

// A server for days of running in minutes: it welcomes each connection
// (the bot is operator of its channel), floods it with channel lines and
// private messages, counts the answers and now and then drops the
// connection, so that the bot goes through its reconnect.
class SoakServer {
public:
    SoakServer() {
        server_.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server_, &QTcpServer::newConnection, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection()) {
                if (peer_) peer_->deleteLater();
                peer_ = socket;
                ++connections_;
                QObject::connect(socket, &QTcpSocket::readyRead, [this, socket] { Read(socket); });
            }
        });
    }
    quint16 Port() const { return server_.serverPort(); }
    int Connections() const { return connections_; }
    bool Registered() const { return registered_ == connections_; }
    long Answers() const { return answers_; }
    void Send(const QByteArray& bytes) {
        if (peer_) peer_->write(bytes);
    }
    void Drop() {
        if (peer_) peer_->disconnectFromHost();
    }

private:
    void Read(QTcpSocket* socket) {
        pending_ += socket->readAll();
        qsizetype end;
        while ((end = pending_.indexOf('\n')) >= 0) {
            const QByteArray line = pending_.left(end);
            pending_.remove(0, end + 1);
            if (line.startsWith("USER ")) {
                socket->write(":srv 001 Tovik-B0T :Willkommen\r\n:srv 376 Tovik-B0T :End\r\n"
                              ":srv 353 Tovik-B0T = #Tovik-B0T :@Tovik-B0T\r\n:srv 366 Tovik-B0T #Tovik-B0T :End\r\n");
                registered_ = connections_;
            }
            if (line.startsWith("PRIVMSG p")) ++answers_;
        }
    }

    QTcpServer server_;
    QTcpSocket* peer_ = nullptr;
    QByteArray pending_;
    int connections_ = 0;
    int registered_ = 0;
    long answers_ = 0;
};

// The whole program with its window open, soaked: a million channel lines
// and twenty thousand private messages in ten rounds, a lost connection
// after each. What the first round took (caches, the view filling up) is
// warm-up; after that, memory and descriptors must stay put.
void BM_MainWindowSoak(benchmark::State& state) {
    constexpr int kRounds = 10;
    constexpr long kChannelLines = 100'000;
    constexpr long kPrivateMessages = 2'000;
    QByteArray round;
    for (long i = 0; i < kChannelLines; ++i) {
        round += ":Nick" + QByteArray::number(i % 97) + "!user@host.example.net PRIVMSG #kanal :Nachricht Nummer " +
                 QByteArray::number(i) + "\r\n";
        if (i % (kChannelLines / kPrivateMessages) == 0)
            round += ":p" + QByteArray::number(i / (kChannelLines / kPrivateMessages) % 50) +
                     "!u@h PRIVMSG Tovik-B0T :hallo\r\n";
    }
    for (auto _ : state) {
        QTemporaryDir dir;
        const QString oldCwd = QDir::currentPath();
        QDir::setCurrent(dir.path());
        QDir(dir.path()).mkdir(QStringLiteral("PROFILES"));
        SoakServer server;
        SilentPrompts prompts;
        tovik::Random random;
        tovik::TMainForm form(random, prompts, tovik::BotPorts{0, 0});
        form.show();
        form.ProfileForm()->ProfileEdit->setText(QStringLiteral("soak"));
        form.ProfileForm()->CreateButtonClick();
        tovik::ProfileFile profile(form.Context().ProfilePath());
        profile.WriteValue("IRC", "Server", "127.0.0.1");
        profile.WriteValue("IRC", "Port", std::to_string(server.Port()));
        profile.WriteValue("General", "CharTime", "0");
        // The loopback server takes lines as fast as they come, and the
        // bot comes back at once: this is about what stays behind.
        tovik::BotTimings timings;
        timings.pace = tovik::SendPace{1'000'000, std::chrono::milliseconds(1)};
        timings.reconnectScale = 0.001;
        form.Runtime().SetTimings(timings);
        form.OnlineButtonClick();

        QElapsedTimer clock;
        clock.start();
        long warmRss = 0, warmFds = 0;
        long expectedAnswers = 0;
        QTimer tick;  // wakes the wait below, which sleeps until something happens
        tick.start(10);
        const auto await = [&](const std::function<bool()>& done) {
            while (!done() && clock.elapsed() < 600'000)
                QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
            return done();
        };
        for (int r = 0; r < kRounds; ++r) {
            if (!await([&] { return server.Registered() && form.Runtime().State() == tovik::BotState::Online; })) {
                state.SkipWithError("the bot did not come back");
                break;
            }
            server.Send(round);
            expectedAnswers += kPrivateMessages;
            if (!await([&] { return server.Answers() >= expectedAnswers; })) {
                state.SkipWithError("answers missing");
                break;
            }
            form.LogMemo->Flush();
            if (r == 0) {
                warmRss = ResidentBytes();
                warmFds = OpenDescriptors();
            }
            server.Drop();
            await([&] { return form.Runtime().State() != tovik::BotState::Online; });
        }
        state.SetIterationTime(static_cast<double>(clock.nsecsElapsed()) / 1e9);
        state.counters["connections"] = server.Connections();
        state.counters["rss_MB"] = static_cast<double>(ResidentBytes()) / (1024.0 * 1024.0);
        state.counters["rss_growth_after_warmup_MB"] =
            static_cast<double>(ResidentBytes() - warmRss) / (1024.0 * 1024.0);
        state.counters["fd_change_after_warmup"] = static_cast<double>(OpenDescriptors() - warmFds);
        form.OfflineButtonClick();
        form.hide();
        QDir::setCurrent(oldCwd);
    }
}
BENCHMARK(BM_MainWindowSoak)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
