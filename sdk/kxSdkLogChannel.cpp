#include "kxSdkLogChannel.h"

#include "kxLineBreakConstants.h"
#include "kxStringField.h"
#include "records/kxServerConfigRecord.h"

#include <QtCore/QStringBuilder>

#include <algorithm>

namespace {
// Category markers; every other category is indented like them.
const QString kCriticalMarker = QStringLiteral("CRF (CRITICAL FAILURE) - ");
const QString kErrorMarker = QStringLiteral("ERR ");
const QString kWarningMarker = QStringLiteral("WRN ");
const QString kInformationIndent = QStringLiteral("    ");

// A continued line lines up under the text of the line before.
const QString kContinuedHead = QString(17, QLatin1Char(' '));
// Follows every line feed inside a line, so only the first line carries a head.
const QString kLineFeedIndent = QLatin1Char('\n') + QString(22, QLatin1Char(' '));

// Texts that mark a crash report, in the order they are looked for.
const QLatin1String kCrashTexts[] = {
    QLatin1String("Access violation"),
    QLatin1String("PAGE_FAULT"),
    QLatin1String("std::bad_alloc:bad allocation"),
};

// Each crash text with a character of it that ordinary log lines seldom hold.
struct CrashTextProbe
{
    QLatin1String text;
    char16_t anchor;
};
const CrashTextProbe kCrashTextProbes[] = {
    {kCrashTexts[0], u'A'},
    {kCrashTexts[1], u'P'},
    {kCrashTexts[2], u':'},
};

// The error file: each entry names the log and the SDK it was written with.
const QString kSdkVersionText = QString::fromLatin1(kx::kSdkVersion);
const QString kErrorHeaderClose = QStringLiteral("]  ");
const QString kTruncatedMarker = QStringLiteral("!!!MESSAGE TRUNCATED!!!! ");
constexpr int kMaxErrorLineLength = 2500000;
constexpr int kTruncatedLineLength = 500;

bool opensWith(const QChar *units, QLatin1String latin1) noexcept
{
    const char *bytes = latin1.data();
    for (qsizetype k = 0; k < latin1.size(); ++k) {
        if (units[k].unicode() != char16_t(static_cast<uchar>(bytes[k])))
            return false;
    }
    return true;
}

// Most lines hold none of the characters the crash texts are looked for by:
// one branch-free pass, which the compiler can vectorise, tells.
bool hasCrashTextAnchor(const char16_t *units, qsizetype size) noexcept
{
    // Three plain passes rather than one with three tests, which the compiler
    // would turn into a bit test per unit instead of vector compares.
    unsigned hasAnchor = 0;
    for (const CrashTextProbe &probe : kCrashTextProbes) {
        for (qsizetype i = 0; i < size; ++i)
            hasAnchor |= unsigned(units[i] == probe.anchor);
    }
    return hasAnchor != 0;
}

bool isCrashReport(int category, const QString &text)
{
    if (category == __KXSDK::CategoryCritical)
        return true;
    // Runs for every line that is written. Each crash text is looked for by a
    // character of it that ordinary log text seldom holds, found by Qt's
    // vectorised character search; only there is the whole text compared.
    // Which of them hits first does not matter: any hit is a crash report.
    const QStringView units(text);
    if (!hasCrashTextAnchor(units.utf16(), units.size()))
        return false;
    for (const CrashTextProbe &probe : kCrashTextProbes) {
        const QChar anchor(probe.anchor);
        const qsizetype offset = probe.text.indexOf(anchor);
        for (qsizetype at = units.indexOf(anchor, offset); at >= 0; at = units.indexOf(anchor, at + 1)) {
            const qsizetype start = at - offset;
            if (units.size() - start >= probe.text.size() && opensWith(units.data() + start, probe.text))
                return true;
        }
    }
    return false;
}

bool isErrorFileCategory(int category) noexcept
{
    return category == __KXSDK::CategoryCritical || category == __KXSDK::CategoryError;
}

// A text that brings its own marker, such as "ERR " or "INF ", is not indented.
bool hasOwnMarker(QStringView text)
{
    return text.size() > 3 && text.at(3) == QLatin1Char(' ') && text.at(2).isUpper();
}
} // namespace

__KXSDK::__KXSDK() noexcept = default;

__KXSDK::~__KXSDK() = default;

bool __KXSDK::isCategoryEnabled(int category) const noexcept
{
    // A category without an entry in the table is treated as switched off
    // rather than read from whatever follows the table.
    if (!config || category < 0 || category >= kx::ServerConfig::kLogCategoryCount)
        return false;
    return kx::readAt<quint8>(config, kx::ServerConfig::kLogEnabledOffset + std::size_t(category)) != 0;
}

void __KXSDK::raiseCriticalFailure() noexcept
{
    criticalFailure = 1;
    logMuted = 0;
}

void __KXSDK::logMessage(int category, int flags, const QString &text)
{
    // A critical line always lifts the mute, even when it is not written.
    if (category == CategoryCritical)
        raiseCriticalFailure();
    if (!isCategoryEnabled(category))
        return;

    if (isCrashReport(category, text)) {
        raiseCriticalFailure();
        // Whatever follows a crash must reach the main file at once.
        kx::writeAt<quint32>(mainLog, kx::SdkLog::kLogfileCrashFieldOffset, 0);
    }
    if (logMuted != 0)
        return;

    QString line = formatLine(category, flags, text);
    if (isErrorFileCategory(category))
        writeErrorLog(category, line);
    if (splitCategory >= 0)
        splitLog->addLog(line);
    if (splitCategory < 0 || category < splitCategory) {
        // Losing one line of the main file must not fail the caller.
        try {
            mainLog->addLog(line);
        } catch (...) {
        }
    }
}

QString __KXSDK::formatLine(int category, int flags, const QString &text) const
{
    const QString converted = kxToKXUTF8(text, false);
    _kxTime now;
    now.setCurrentTime(0);

    const bool isBare = (flags & flagBare) != 0;
    const QChar separator(static_cast<uchar>(stampSeparator));
    // The head is the stamp and the separator; a line feed there would only
    // leave an empty-looking line, so it is left out.
    QString stamp;
    bool hasSeparatorInHead = false;
    if (flags & flagContinued) {
        stamp = kContinuedHead;
    } else if (!isBare) {
        stamp = now.asStringMt();
        hasSeparatorInHead = separator != QLatin1Char('\n');
    }

    // The text is taken from textStart on: past a tag and the one space after it.
    const auto size = converted.size();
    decltype(converted.size()) textStart = 0;
    const bool hasTag = size > 2 && converted.at(1) == separator;
    if (hasTag) {
        textStart = 2;
        if (converted.at(2) == QLatin1Char(' '))
            textStart = 3;
    }
    const QStringView body = QStringView(converted).mid(textStart);

    const QString *marker = nullptr;
    switch (category) {
    case CategoryCritical:
        marker = &kCriticalMarker;
        break;
    case CategoryError:
        marker = &kErrorMarker;
        break;
    case CategoryWarning:
        marker = &kWarningMarker;
        break;
    default:
        if (!isBare && !hasOwnMarker(body))
            marker = &kInformationIndent;
    }

    // Sized once and filled in place: this runs for every line that is written.
    const auto tagSize = !isBare && hasTag ? 2 : 0;
    const auto spaceSize = isBare ? 0 : 1;
    const auto markerSize = marker ? marker->size() : 0;
    // A view into converted, so its size fits converted's size type.
    const auto bodySize = static_cast<decltype(converted.size())>(body.size());
    QString line(stamp.size() + (hasSeparatorInHead ? 1 : 0) + tagSize + spaceSize + markerSize + bodySize,
                 Qt::Uninitialized);
    QChar *out = line.data();
    out = std::copy(stamp.constData(), stamp.constData() + stamp.size(), out);
    if (hasSeparatorInHead)
        *out++ = separator;
    out = std::copy(converted.constData(), converted.constData() + tagSize, out);
    if (spaceSize)
        *out++ = QLatin1Char(' ');
    if (marker)
        out = std::copy(marker->constData(), marker->constData() + markerSize, out);
    std::copy(body.data(), body.data() + bodySize, out);
    if (!isBare && line.contains(QLatin1Char('\n')))
        line.replace(QLatin1Char('\n'), kLineFeedIndent);
    return line;
}

void __KXSDK::writeErrorLog(int category, const QString &line)
{
    if (!isErrorFileCategory(category) || logMuted != 0)
        return;

    const QString body = line.size() > kMaxErrorLineLength
        ? kTruncatedMarker + line.left(kTruncatedLineLength)
        : line;
    // The server's stored length is not trusted beyond the field's capacity.
    const QString name = kx::stringField<LogName>(this, kx::SdkLog::kLogNameOffset).text();

    // Built in one allocation: the line may be millions of characters long.
    QString entry = QLatin1Char('[') % name % kErrorHeaderClose
        % kSdkVersionText % kLineBreak % body % kLineBreak;
    errorLog->addLog(entry);
}
