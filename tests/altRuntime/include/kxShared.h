// A second runtime library for the tests: the types and operations a plug-in
// may use, with the layouts fixed, and a choice of its own wherever that list
// leaves one. Modules built against it show that they need nothing more.
//
// Its own choices:
//  - isEqual compares exactly: letter case counts.
//  - makeLower lowers A to Z only.
//  - insert and add change nothing when the result would not fit.
//  - asStringMt gives "dd.MM.yyyy HH:mm:ss,zzz" and asStringDateHourMin
//    "dd.MM.yyyy HH:mm", both in UTC.
//  - kxToKXUTF8 hands the text back unchanged.
//  - The 32-bit field at byte 512 of a _kxLogfile counts the entries added
//    since its last flush; setting it to 0 forgets that count and nothing else.
#ifndef KXSHARED_H
#define KXSHARED_H

#include <QtCore/QString>
#include <QtCore/QStringList>
#include <QtCore/QtGlobal>

#include <algorithm>

#if defined(_WIN32)
#  define KXALT_EXPORT __declspec(dllexport)
#else
#  define KXALT_EXPORT __attribute__((visibility("default")))
#endif

template <int N>
class _kxString
{
public:
    _kxString() noexcept
    {
        clear();
        m_reserved = 0;
    }
    explicit _kxString(const char *text) noexcept : _kxString() { add(text); }
    explicit _kxString(char c) noexcept : _kxString() { m_text[0] = static_cast<unsigned char>(c); m_length = 1; m_text[1] = 0; }

    void clear() noexcept
    {
        m_length = 0;
        m_text[0] = 0;
    }
    bool isEmpty() const noexcept { return used() == 0; }
    // Case-exact: this runtime's choice.
    bool isEqual(const _kxString &other) const noexcept
    {
        return used() == other.used() && std::equal(m_text, m_text + used(), other.m_text);
    }
    void makeLower() noexcept
    {
        for (int i = 0; i < used(); ++i) {
            if (m_text[i] >= u'A' && m_text[i] <= u'Z')
                m_text[i] = char16_t(m_text[i] + 32);
        }
    }
    void add(const char *text) noexcept
    {
        int n = 0;
        while (text && text[n])
            ++n;
        if (used() + n > N)
            return;
        for (int i = 0; i < n; ++i)
            m_text[used() + i] = static_cast<unsigned char>(text[i]);
        m_length = quint16(used() + n);
        m_text[m_length] = 0;
    }
    void insert(int position, const _kxString &other) noexcept
    {
        const int n = other.used();
        if (position < 0 || position > used() || used() + n > N)
            return;
        for (int i = used() - 1; i >= position; --i)
            m_text[i + n] = m_text[i];
        for (int i = 0; i < n; ++i)
            m_text[position + i] = other.m_text[i];
        m_length = quint16(used() + n);
        m_text[m_length] = 0;
    }
    void remove(int position, int count) noexcept
    {
        if (position < 0 || position >= used() || count <= 0)
            return;
        const int removed = count < used() - position ? count : used() - position;
        for (int i = position; i + removed < used(); ++i)
            m_text[i] = m_text[i + removed];
        m_length = quint16(used() - removed);
        m_text[m_length] = 0;
    }
    int indexOf(char16_t unit, int start) const noexcept
    {
        for (int i = start < 0 ? 0 : start; i < used(); ++i) {
            if (m_text[i] == unit)
                return i;
        }
        return -1;
    }
    void clearUnused() noexcept
    {
        for (int i = used(); i <= N; ++i)
            m_text[i] = 0;
    }

private:
    int used() const noexcept { return m_length < N ? m_length : N; }

    quint16 m_length;
    quint16 m_reserved;
    char16_t m_text[N + 1];
};

template <int N>
class _kxString8_allSize
{
public:
    _kxString8_allSize() noexcept { clear(); }
    explicit _kxString8_allSize(const char *text) noexcept : _kxString8_allSize()
    {
        int n = 0;
        for (; text && text[n] && n < N; ++n)
            m_text[n] = text[n];
        m_length = quint16(n);
        m_text[n] = 0;
    }

    void clear() noexcept
    {
        m_length = 0;
        m_text[0] = 0;
    }
    bool isEmpty() const noexcept { return used() == 0; }
    // Case-exact: this runtime's choice.
    bool isEqual(const _kxString8_allSize &other) const noexcept
    {
        return used() == other.used() && std::equal(m_text, m_text + used(), other.m_text);
    }

private:
    int used() const noexcept { return m_length < N ? m_length : N; }

    quint16 m_length;
    char m_text[N + 1 + (N + 1) % 2];
};

class KXALT_EXPORT _kxTime
{
public:
    _kxTime() noexcept = default;
    explicit _kxTime(bool now) noexcept;
    void setCurrentTime(long long value) noexcept;
    QString asStringMt() const;
    QString asStringDateHourMin() const;

private:
    qint64 m_msecs = 0;
};

class KXALT_EXPORT _kxLogfile
{
public:
    _kxLogfile();
    // Flushed entries are appended to the file, a line feed behind each.
    explicit _kxLogfile(const QString &filePath);
    ~_kxLogfile();
    _kxLogfile(const _kxLogfile &) = delete;
    _kxLogfile &operator=(const _kxLogfile &) = delete;

    void addLog(QString &entry);
    // Throws std::runtime_error when the file cannot be written.
    void flush();

    // For the tests: every entry added, and the flushes that completed.
    QStringList entries() const;
    quint64 flushes() const noexcept;

private:
    struct Private;
    Private *d;
    [[maybe_unused]] unsigned char m_unused[504];
    quint32 m_addedSinceFlush;
    [[maybe_unused]] quint32 m_tail;
};

KXALT_EXPORT QString kxToKXUTF8(QString text, bool keepControls);

// For the tests: fixes the present time (milliseconds since 1970 UTC); 0 returns to the clock.
KXALT_EXPORT void kxAltSetClock(qint64 msecsSinceEpoch) noexcept;

#endif // KXSHARED_H
