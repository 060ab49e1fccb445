#include "kxSdkLogChannel.h"

#include "kxRecordAccess.h"
#include "records/kxServerConfigRecord.h"

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

// The error file: each entry names the log and the SDK it was written with.
const QString kSdkVersionText = QStringLiteral(" 8.4.03");
const QString kErrorHeaderClose = QStringLiteral("]  ");
const QString kLineEnd = QStringLiteral("\r\n");
const QString kTruncatedMarker = QStringLiteral("!!!MESSAGE TRUNCATED!!!! ");
constexpr int kMaxErrorLineLength = 2500000;
constexpr int kTruncatedLineLength = 500;

bool isCrashReport(int category, const QString &text)
{
    if (category == __KXSDK::CategoryCritical)
        return true;
    for (const QLatin1String &crashText : kCrashTexts) {
        if (text.contains(crashText, Qt::CaseSensitive))
            return true;
    }
    return false;
}

bool isErrorFileCategory(int category) noexcept
{
    return category == __KXSDK::CategoryCritical || category == __KXSDK::CategoryError;
}

// A text that brings its own marker, such as "ERR " or "INF ", is not indented.
bool hasOwnMarker(const QString &text)
{
    return text.size() > 3 && text.at(3) == QLatin1Char(' ') && text.at(2).isUpper();
}
} // namespace

__KXSDK::__KXSDK() noexcept
    : KxSdkLogMembers{}
{
    splitCategory = -1;
    stampSeparator = '|';
}

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
    QString body = kxToKXUTF8(text, false);
    _kxTime now;
    now.setCurrentTime(0);

    const bool isBare = (flags & flagBare) != 0;
    const QChar separator(static_cast<uchar>(stampSeparator));
    QString head;
    if (flags & flagContinued)
        head = kContinuedHead;
    else if (!isBare)
        head = now.asStringMt() + separator;

    QString tag;
    if (body.size() > 2 && body.at(1) == separator) {
        tag = body.left(2);
        body.remove(0, 2);
        if (body.startsWith(QLatin1Char(' ')))
            body.remove(0, 1);
    }

    switch (category) {
    case CategoryCritical:
        body.prepend(kCriticalMarker);
        break;
    case CategoryError:
        body.prepend(kErrorMarker);
        break;
    case CategoryWarning:
        body.prepend(kWarningMarker);
        break;
    default:
        if (!isBare && !hasOwnMarker(body))
            body.prepend(kInformationIndent);
        break;
    }

    if (head.endsWith(QLatin1Char('\n')))
        head.chop(1);

    if (isBare)
        return head + body;
    QString line;
    line.reserve(head.size() + tag.size() + 1 + body.size());
    line += head;
    line += tag;
    line += QLatin1Char(' ');
    line += body;
    if (line.contains(QLatin1Char('\n')))
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
    const auto name = kx::loadString<LogName>(this, kx::SdkLog::kLogNameOffset);

    QString entry;
    entry.reserve(1 + name.length() + kErrorHeaderClose.size() + kSdkVersionText.size()
                  + 2 * kLineEnd.size() + body.size());
    entry += QLatin1Char('[');
    entry += QLatin1String(name.constData(), name.length());
    entry += kErrorHeaderClose;
    entry += kSdkVersionText;
    entry += kLineEnd;
    entry += body;
    entry += kLineEnd;
    errorLog->addLog(entry);
}
