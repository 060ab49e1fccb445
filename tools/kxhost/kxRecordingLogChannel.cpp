#include "kxRecordingLogChannel.h"

#include <array>

namespace kx::host {

namespace {
constexpr std::size_t kFileCount = 3;
constexpr std::size_t kMain = 2;
// The channel's files in the order it writes them (error, split, main), reached
// by name: a member pointer would lose the object's 4-byte packing.
_kxLogfile *fileOf(const __KXSDK &channel, std::size_t i) noexcept
{
    return i == 0 ? channel.errorLog : i == 1 ? channel.splitLog : channel.mainLog;
}
void setFileOf(__KXSDK &channel, std::size_t i, _kxLogfile *file) noexcept
{
    if (i == 0)
        channel.errorLog = file;
    else if (i == 1)
        channel.splitLog = file;
    else
        channel.mainLog = file;
}
} // namespace

void RecordingLogChannel::logMessage(int category, int flags, const QString &text)
{
    // The SDK's channel writes into file-less stand-ins, which keep what they are
    // given; each entry then goes to its real file in the channel's own order
    // (error, split, main), so the real files see the same calls, flushes and failures.
    std::array<_kxLogfile *, kFileCount> real{};
    std::array<_kxLogfile, kFileCount> stand;
    for (std::size_t i = 0; i < kFileCount; ++i) {
        real[i] = fileOf(*this, i);
        if (real[i]) {
            stand[i].setAutoFlushCount(real[i]->autoFlushCount());
            setFileOf(*this, i, &stand[i]);
        }
    }
    struct Restore
    {
        RecordingLogChannel *channel;
        const std::array<_kxLogfile *, kFileCount> &real;
        ~Restore()
        {
            for (std::size_t i = 0; i < kFileCount; ++i)
                setFileOf(*channel, i, real[i]);
        }
    };
    {
        const Restore restore{this, real};
        __KXSDK::logMessage(category, flags, text);
    }

    for (std::size_t i = 0; i < kFileCount; ++i) {
        _kxLogfile *file = real[i];
        if (!file)
            continue;
        // A crash report makes the channel flush the main file at every entry from now on.
        file->setAutoFlushCount(stand[i].autoFlushCount());
        const QStringList entries = stand[i].pendingEntries();
        if (entries.isEmpty())
            continue;
        auto given = m_given.begin();
        while (given != m_given.end() && given->file != file)
            ++given;
        if (given == m_given.end())
            given = m_given.insert(m_given.end(), Entries{file, {}});
        for (QString entry : entries) {
            given->entries.append(entry);
            // As the channel does: losing a line of the main file must not fail the caller.
            if (i == kMain) {
                try {
                    file->addLog(entry);
                } catch (...) {
                }
            } else {
                file->addLog(entry);
            }
        }
    }
}

QStringList RecordingLogChannel::takeEntries(const _kxLogfile *file)
{
    for (Entries &given : m_given) {
        if (given.file == file)
            return std::exchange(given.entries, {});
    }
    return {};
}

} // namespace kx::host
