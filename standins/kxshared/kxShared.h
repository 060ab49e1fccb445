// kxShared: the shared runtime library that the SDK and its plug-ins link.
//
// Fixed-capacity strings, time values and log files. The strings are stored
// inside records that the render-farm server owns, so their layouts are part
// of the contract and pinned below.
//
// Behaviour past a capacity: every operation keeps a string within its
// capacity and its terminator in place.
//  - Constructors and add() keep the leading characters that fit and drop the
//    rest of the source.
//  - insert() places the inserted text and shifts the tail right; characters
//    pushed beyond the capacity are dropped from the end of the string.
//  - A stored length above the capacity (a corrupt record) is read as the
//    capacity by every operation.
#ifndef KXSHARED_H
#define KXSHARED_H

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <type_traits>

#if defined(_WIN32)
#  if defined(KXSHARED_BUILD)
#    define KXSHARED_EXPORT __declspec(dllexport)
#  else
#    define KXSHARED_EXPORT __declspec(dllimport)
#  endif
#else
#  define KXSHARED_EXPORT __attribute__((visibility("default")))
#endif

// Letter case of Latin-1: the only letters that case-insensitive comparison
// and lower-casing of these strings know. Render-client names are host names.
// Inline, so that a plug-in built against this header imports nothing for it.
namespace kxshared_detail {
constexpr char16_t latin1ToLower(char16_t unit) noexcept
{
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7))
        return char16_t(unit + 0x20);
    return unit;
}
} // namespace kxshared_detail

// The text to log: every control character other than line feed and tab
// becomes "?", so that no logged text can forge a line or carry escapes.
KXSHARED_EXPORT QString kxToKXUTF8(const QString &text, bool keepControls);

// _kxString<N>: 16-bit length, a 16-bit field left 0, then N + 1 UTF-16 units.
template <int N>
class _kxString
{
    static_assert(N > 0 && N < 65535, "capacity must fit the 16-bit length");

public:
    _kxString() noexcept { clear(); m_reserved = 0; }
    explicit _kxString(const char *latin1) noexcept
    {
        clear();
        m_reserved = 0;
        add(latin1);
    }
    // That one character, a zero character too.
    explicit _kxString(char c) noexcept
    {
        m_reserved = 0;
        m_text[0] = static_cast<unsigned char>(c);
        setLength(1);
    }

    static constexpr int capacity() noexcept { return N; }

    // The stored length, read as the capacity when it exceeds it.
    int length() const noexcept { return std::min<int>(m_length, N); }
    quint16 storedLength() const noexcept { return m_length; }
    // Sets the length (clamped to 0..N) and writes the terminator behind it.
    void setLength(int length) noexcept
    {
        const int clamped = std::clamp(length, 0, N);
        m_length = static_cast<quint16>(clamped);
        m_text[clamped] = 0;
    }

    char16_t *data() noexcept { return m_text; }
    const char16_t *constData() const noexcept { return m_text; }
    char16_t at(int i) const noexcept { return m_text[i]; }

    void clear() noexcept
    {
        m_length = 0;
        m_text[0] = 0;
    }
    bool isEmpty() const noexcept { return length() == 0; }

    // Equal lengths and equal characters, ignoring the letter case of Latin-1.
    template <int M>
    bool isEqual(const _kxString<M> &other) const noexcept
    {
        const int n = length();
        if (n != other.length())
            return false;
        for (int i = 0; i < n; ++i) {
            if (m_text[i] != other.at(i)
                && kxshared_detail::latin1ToLower(m_text[i]) != kxshared_detail::latin1ToLower(other.at(i)))
                return false;
        }
        return true;
    }

    void makeLower() noexcept
    {
        std::transform(m_text, m_text + length(), m_text, kxshared_detail::latin1ToLower);
    }

    // Appends 8-bit text, one unit a byte, as far as it fits.
    void add(const char *latin1) noexcept
    {
        if (!latin1)
            return;
        int n = length();
        for (; *latin1 && n < N; ++latin1)
            m_text[n++] = static_cast<unsigned char>(*latin1);
        setLength(n);
    }

    // Inserts before position; the tail beyond the capacity is dropped.
    template <int M>
    void insert(int position, const _kxString<M> &other) noexcept
    {
        const int n = length();
        const int pos = std::clamp(position, 0, n);
        const int count = std::min(other.length(), N - pos);
        const int keptTail = std::min(n - pos, N - pos - count);
        std::memmove(m_text + pos + count, m_text + pos, sizeof(char16_t) * std::size_t(keptTail));
        std::memcpy(m_text + pos, other.constData(), sizeof(char16_t) * std::size_t(count));
        setLength(pos + count + keptTail);
    }

    // Removes count units from position on, or as many as follow it.
    void remove(int position, int count) noexcept
    {
        const int n = length();
        if (position < 0 || position >= n || count <= 0)
            return;
        const int removed = std::min(count, n - position);
        std::memmove(m_text + position, m_text + position + removed,
                     sizeof(char16_t) * std::size_t(n - position - removed));
        setLength(n - removed);
    }

    int indexOf(char16_t unit, int start) const noexcept
    {
        const int n = length();
        for (int i = std::max(start, 0); i < n; ++i) {
            if (m_text[i] == unit)
                return i;
        }
        return -1;
    }

    // Zeroes every unit past the text, the terminator's place included.
    void clearUnused() noexcept
    {
        const int n = length();
        std::fill(m_text + n, m_text + N + 1, char16_t(0));
    }

    QString toQString() const
    {
        return QString::fromUtf16(m_text, length());
    }
    // Copies the leading units of text that fit, then the terminator.
    void assign(const QString &text) noexcept
    {
        const int n = int(std::min<qsizetype>(text.size(), N));
        std::memcpy(m_text, text.constData(), sizeof(char16_t) * std::size_t(n));
        setLength(n);
    }

private:
    quint16 m_length;
    quint16 m_reserved;
    char16_t m_text[N + 1] = {};
};

// _kxString8_allSize<N>: 16-bit length, then N + 1 bytes of Latin-1 text.
template <int N>
class _kxString8_allSize
{
    static_assert(N > 0 && N < 65535, "capacity must fit the 16-bit length");

public:
    _kxString8_allSize() noexcept { clear(); }
    explicit _kxString8_allSize(const char *latin1) noexcept
    {
        clear();
        if (!latin1)
            return;
        int n = 0;
        for (; latin1[n] && n < N; ++n)
            m_text[n] = latin1[n];
        setLength(n);
    }

    static constexpr int capacity() noexcept { return N; }

    int length() const noexcept { return std::min<int>(m_length, N); }
    quint16 storedLength() const noexcept { return m_length; }
    void setLength(int length) noexcept
    {
        const int clamped = std::clamp(length, 0, N);
        m_length = static_cast<quint16>(clamped);
        m_text[clamped] = '\0';
    }

    char *data() noexcept { return m_text; }
    const char *constData() const noexcept { return m_text; }

    void clear() noexcept
    {
        m_length = 0;
        m_text[0] = '\0';
    }
    bool isEmpty() const noexcept { return length() == 0; }

    // Equal lengths, and characters equal ignoring the letter case of Latin-1.
    template <int M>
    bool isEqual(const _kxString8_allSize<M> &other) const noexcept
    {
        const int n = length();
        if (n != other.length())
            return false;
        const char *theirs = other.constData();
        for (int i = 0; i < n; ++i) {
            const auto a = static_cast<unsigned char>(m_text[i]);
            const auto b = static_cast<unsigned char>(theirs[i]);
            if (a != b && kxshared_detail::latin1ToLower(a) != kxshared_detail::latin1ToLower(b))
                return false;
        }
        return true;
    }

    // Latin-1 of the leading units that fit; a unit outside Latin-1 becomes "?".
    void assign(const QString &text) noexcept
    {
        const int n = int(std::min<qsizetype>(text.size(), N));
        std::transform(text.constData(), text.constData() + n, m_text,
                       [](QChar unit) { return unit.unicode() < 256 ? char(unit.unicode()) : '?'; });
        setLength(n);
    }

    QString toQString() const { return QString::fromLatin1(m_text, length()); }

private:
    quint16 m_length;
    // Rounded up to whole 16-bit units, so no padding byte is left undefined.
    char m_text[N + 1 + (N + 1) % 2] = {};
};

// Pinned layouts: these strings sit inside the server's records.
static_assert(sizeof(_kxString<25>) == 56 && alignof(_kxString<25>) == 2);
static_assert(sizeof(_kxString<50>) == 106 && alignof(_kxString<50>) == 2);
static_assert(sizeof(_kxString<100>) == 206);
static_assert(sizeof(_kxString<2500>) == 5006);
static_assert(sizeof(_kxString8_allSize<10>) == 14 && alignof(_kxString8_allSize<10>) == 2);
static_assert(sizeof(_kxString8_allSize<15>) == 18);
static_assert(sizeof(_kxString8_allSize<25>) == 28);
static_assert(sizeof(_kxString8_allSize<50>) == 54);
static_assert(sizeof(_kxString8_allSize<100>) == 104);
static_assert(sizeof(_kxString8_allSize<150>) == 154);
static_assert(std::is_trivially_copyable_v<_kxString<2500>>);
static_assert(std::is_trivially_copyable_v<_kxString8_allSize<50>>);

// A moment in time: milliseconds since 1970-01-01 UTC.
class KXSHARED_EXPORT _kxTime
{
public:
    _kxTime() noexcept = default;
    // true: the present time; false: the epoch.
    explicit _kxTime(bool now) noexcept;

    // 0 means the present time; any other value is taken as milliseconds since the epoch.
    void setCurrentTime(qint64 msecsSinceEpoch) noexcept;
    qint64 msecsSinceEpoch() const noexcept { return m_msecs; }

    // Local "YYYY-MM-DD HH:MM:SS.mmm": the stamp that opens a log line.
    QString asStringMt() const;
    // Local "YYYY-MM-DD HH:MM": the time in a notification text.
    QString asStringDateHourMin() const;

private:
    qint64 m_msecs = 0;
};
static_assert(sizeof(_kxTime) == 8);

// Fixes what "the present time" is, for tests; 0 returns to the clock.
KXSHARED_EXPORT void kxSetFixedCurrentTime(qint64 msecsSinceEpoch) noexcept;

// A log file that keeps entries in memory until flushed.
//
// Entries are appended to the file by flush(), each ended with a line feed
// unless it already ends with one. The 32-bit field at byte 512 is the number
// of entries kept before addLog() flushes by itself; 0 writes every entry at
// once. Without a file, entries are kept and flush() writes nowhere.
// flush() throws std::runtime_error naming the file and the cause when the file
// cannot be written. Each entry reaches the file whole and once: what a failed
// write left of an entry is cut off again, or, where that cannot be done,
// completed first by the next write. While the file fails, the entries kept for
// it are bounded (the oldest are dropped) and addLog() retries only now and
// then; the next write that succeeds first records how many entries were lost.
class KXSHARED_EXPORT _kxLogfile
{
public:
    static constexpr quint32 DefaultAutoFlushCount = 64;

    _kxLogfile();
    explicit _kxLogfile(const QString &filePath);
    ~_kxLogfile();
    _kxLogfile(const _kxLogfile &) = delete;
    _kxLogfile &operator=(const _kxLogfile &) = delete;

    void addLog(QString &entry);
    void flush();

    QString filePath() const;
    // Entries added and not yet written to a file.
    QStringList pendingEntries() const;
    // Number of flush() calls that reached the file or, without a file, completed.
    quint64 flushCount() const noexcept;
    // Entries dropped while the file failed, not yet recorded in it.
    qint64 lostEntryCount() const noexcept;

    quint32 autoFlushCount() const noexcept { return m_autoFlushCount; }
    void setAutoFlushCount(quint32 count) noexcept { m_autoFlushCount = count; }

private:
    struct Private;
    Private *d;
    // Keeps the auto-flush count at byte 512, where the log channel writes it.
    [[maybe_unused]] unsigned char m_reserved[504];
    quint32 m_autoFlushCount;
    friend struct _kxLogfileLayout;
};

struct _kxLogfileLayout
{
    static constexpr std::size_t autoFlushCountOffset = offsetof(_kxLogfile, m_autoFlushCount);
};
static_assert(_kxLogfileLayout::autoFlushCountOffset == 512,
              "the SDK log channel writes this field by its byte offset");

#endif // KXSHARED_H
