// Lines per second of the SDK log channel writing a typical progress line to a
// file, against a floor that writes the same already-formatted line through
// the same kind of log file with the same auto-flush count.
#include "kxServerSdkObject.h"

#include <QtCore/QDir>
#include <QtCore/QFile>
#include <QtCore/QTemporaryDir>

#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>

namespace {

constexpr int kProgressCategory = 17;
constexpr quint32 kAutoFlushCount = _kxLogfile::DefaultAutoFlushCount;
// Files are emptied now and then so that a long run does not fill the disk.
constexpr int kLinesPerFileReset = 1 << 16;

// 80 characters, the length of a usual progress line of the plug-in.
QString typicalText()
{
    QString text = QStringLiteral("pNotify kxMessage started for job {KT9a} scene shot_0420_lighting_v12 frames ");
    while (text.size() < 80)
        text += QLatin1Char('x');
    text.truncate(80);
    return text;
}

// The channel writing to a main log file in a fresh directory.
struct ChannelRig
{
    ChannelRig()
    {
        server.openLogFiles(dir.path(), kAutoFlushCount);
        mainPath = QDir(dir.path()).filePath(kx::server::SdkObject::mainLogFileName());
    }
    QTemporaryDir dir;
    kx::server::SdkObject server;
    QString mainPath;
};

// The same kind of log file, fed the line the channel would have written.
struct FloorRig
{
    FloorRig()
        : path(QDir(dir.path()).filePath(QStringLiteral("floor.log"))),
          log(std::make_unique<_kxLogfile>(path))
    {
        log->setAutoFlushCount(kAutoFlushCount);
        kx::server::SdkObject probe;
        probe.sdkInterface()->logMessage(kProgressCategory, 0, typicalText());
        line = probe.mainLog().pendingEntries().constLast();
    }
    QTemporaryDir dir;
    QString path;
    std::unique_ptr<_kxLogfile> log;
    QString line;
};

void resetFile(_kxLogfile &log, const QString &path)
{
    log.flush();
    QFile::remove(path);
}

void BM_LogMessageToFile(benchmark::State &state)
{
    ChannelRig rig;
    __KXSDK &channel = *rig.server.sdkInterface();
    const QString text = typicalText();
    int sinceReset = 0;
    for (auto _ : state) {
        channel.logMessage(kProgressCategory, 0, text);
        if (++sinceReset == kLinesPerFileReset) {
            state.PauseTiming();
            resetFile(rig.server.mainLog(), rig.mainPath);
            sinceReset = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LogMessageToFile);

void BM_FloorAddLogToFile(benchmark::State &state)
{
    FloorRig rig;
    int sinceReset = 0;
    for (auto _ : state) {
        QString entry = rig.line;
        rig.log->addLog(entry);
        if (++sinceReset == kLinesPerFileReset) {
            state.PauseTiming();
            resetFile(*rig.log, rig.path);
            sinceReset = 0;
            state.ResumeTiming();
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FloorAddLogToFile);

// Both in turns within one run, so that both see the same machine load.
void BM_ChannelAgainstFloor(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    constexpr int kBatch = 1024;
    ChannelRig channelRig;
    FloorRig floorRig;
    __KXSDK &channel = *channelRig.server.sdkInterface();
    const QString text = typicalText();
    Clock::duration channelTime{};
    Clock::duration floorTime{};
    qint64 batches = 0;

    for (auto _ : state) {
        const auto start = Clock::now();
        for (int i = 0; i < kBatch; ++i)
            channel.logMessage(kProgressCategory, 0, text);
        const auto middle = Clock::now();
        for (int i = 0; i < kBatch; ++i) {
            QString entry = floorRig.line;
            floorRig.log->addLog(entry);
        }
        const auto end = Clock::now();
        channelTime += middle - start;
        floorTime += end - middle;
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        if (++batches % (kLinesPerFileReset / kBatch) == 0) {
            resetFile(channelRig.server.mainLog(), channelRig.mainPath);
            resetFile(*floorRig.log, floorRig.path);
        }
    }

    const double lines = double(batches) * kBatch;
    const double channelSeconds = std::chrono::duration<double>(channelTime).count();
    const double floorSeconds = std::chrono::duration<double>(floorTime).count();
    state.counters["channel_lines_per_s"] = lines / channelSeconds;
    state.counters["floor_lines_per_s"] = lines / floorSeconds;
    state.counters["channel_over_floor"] = channelSeconds / floorSeconds;
}
BENCHMARK(BM_ChannelAgainstFloor)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
