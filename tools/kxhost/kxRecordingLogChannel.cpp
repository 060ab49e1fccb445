#include "kxRecordingLogChannel.h"

#include <array>

namespace kx::host {

void RecordingLogChannel::logMessage(int category, int flags, const QString &text)
{
    // The SDK's channel writes into file-less stand-ins, which keep what they are
    // given; each entry then goes to its real file in the channel's own order
    // (error, split, main), so the real files see the same calls, flushes and failures.
    std::array<_kxLogfile *__KXSDK::*, 3> fileMembers{&__KXSDK::errorLog, &__KXSDK::splitLog, &__KXSDK::mainLog};
    std::array<_kxLogfile *, 3> real{};
    std::array<_kxLogfile, 3> stand;
    for (std::size_t i = 0; i < fileMembers.size(); ++i) {
        real[i] = this->*fileMembers[i];
        if (real[i]) {
            stand[i].setAutoFlushCount(real[i]->autoFlushCount());
            this->*fileMembers[i] = &stand[i];
        }
    }
    struct Restore
    {
        RecordingLogChannel *channel;
        const std::array<_kxLogfile *__KXSDK::*, 3> &fileMembers;
        const std::array<_kxLogfile *, 3> &real;
        ~Restore()
        {
            for (std::size_t i = 0; i < fileMembers.size(); ++i)
                channel->*fileMembers[i] = real[i];
        }
    };
    {
        const Restore restore{this, fileMembers, real};
        __KXSDK::logMessage(category, flags, text);
    }

    constexpr std::size_t kMain = 2;
    for (std::size_t i = 0; i < fileMembers.size(); ++i) {
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
