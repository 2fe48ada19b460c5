// The log under a flood: one million received lines through the log view,
// shown on the offscreen platform, with the batch timer's flushes and the
// repaints in between. Reports lines per second and the growth of the
// resident memory per line.
//
//   QT_QPA_PLATFORM=offscreen build-rel/bench/ui/ui_bench

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <cstdio>
#include <string>
#include <unistd.h>

#include "ui/LogView.h"

namespace {

long ResidentBytes() {
    long pages = 0, resident = 0;
    if (std::FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2) resident = 0;
        std::fclose(f);
    }
    return resident * sysconf(_SC_PAGESIZE);
}

std::string ChannelLine(long i) {
    // A typical channel line of about 80 bytes, with an umlaut.
    return ":Nick" + std::to_string(i % 97) + "!user@host.example.net PRIVMSG #kanal :Nachricht Nummer " +
           std::to_string(i) + " \xFC" "ber alles";
}

// The batch timer fires every 25 ms; at 100,000 lines/s that is a batch of
// 2,500 lines. Each flush is followed by the event processing a real window
// does (layout, paint).
void BM_LogViewFlood(benchmark::State& state) {
    const long lines = state.range(0);
    const long batch = state.range(1);
    long rssGrowth = 0;
    for (auto _ : state) {
        // The journal beside a profile's log, as in the program.
        QTemporaryDir dir;
        tovik::LogView view;
        view.JournalBeside(dir.filePath(QStringLiteral("bench.log")).toStdString());
        view.resize(433, 257);
        view.show();
        QApplication::processEvents();
        const long before = ResidentBytes();
        for (long i = 0; i < lines; ++i) {
            view.AppendLine(ChannelLine(i));
            if ((i + 1) % batch == 0) {
                view.Flush();
                QApplication::processEvents();
            }
        }
        view.Flush();
        QApplication::processEvents();
        rssGrowth = ResidentBytes() - before;
        benchmark::DoNotOptimize(view.SpilledLineCount());
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["rss_growth_MB"] = static_cast<double>(rssGrowth) / (1024.0 * 1024.0);
    state.counters["rss_bytes_per_line"] = static_cast<double>(rssGrowth) / static_cast<double>(lines);
}
BENCHMARK(BM_LogViewFlood)->Args({1'000'000, 2'500})->Args({1'000'000, 100})->Unit(benchmark::kMillisecond)->Iterations(1);

// For comparison: the plain widget, one append per line, no limit.
void BM_PlainTextEditAppend(benchmark::State& state) {
    const long lines = state.range(0);
    long rssGrowth = 0;
    for (auto _ : state) {
        QPlainTextEdit view;
        view.resize(433, 257);
        view.show();
        QApplication::processEvents();
        const long before = ResidentBytes();
        for (long i = 0; i < lines; ++i) view.appendPlainText(QString::fromLatin1(ChannelLine(i)));
        QApplication::processEvents();
        rssGrowth = ResidentBytes() - before;
    }
    state.SetItemsProcessed(state.iterations() * lines);
    state.counters["rss_bytes_per_line"] = static_cast<double>(rssGrowth) / static_cast<double>(lines);
}
BENCHMARK(BM_PlainTextEditAppend)->Arg(20'000)->Unit(benchmark::kMillisecond)->Iterations(1);

// Saving the log of a long run: spilled lines first, then the view.
void BM_LogViewSave(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string path = dir.filePath(QStringLiteral("bench.log")).toStdString();
    tovik::LogView view;
    view.JournalBeside(path);
    for (long i = 0; i < state.range(0); ++i) view.AppendLine(ChannelLine(i));
    view.Flush();
    view.SyncJournal();
    for (auto _ : state) view.SaveTo(path);
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_LogViewSave)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
