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
#include <cstdio>
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

}  // namespace
