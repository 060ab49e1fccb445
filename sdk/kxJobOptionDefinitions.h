// The job-option definitions: a fixed table of 28 rows, 19 named, built at
// load in row order. Internal linkage: one table per including source file,
// kept even where that file never reads it (an optimising build would drop it).
#ifndef KXJOBOPTIONDEFINITIONS_H
#define KXJOBOPTIONDEFINITIONS_H

#include "kxSharedLayout.h"

#include <climits>

struct JobOptionDefinition
{
    qint32 group;
    qint32 kind;
    quint8 flagA;
    quint8 flagB;
    qint32 defaultValue;
    qint32 minValue;
    qint32 maxValue;
    _kxString8_allSize<50> name;
    _kxString8_allSize<100> valueLabels[6];
    quint16 extraWord;
};

#if defined(__GNUC__)
#  define KX_SDK_KEEP __attribute__((used))
#else
#  define KX_SDK_KEEP
#endif

namespace kx {
constexpr int kJobOptionDefinitionCount = 28;

namespace detail {
inline JobOptionDefinition makeJobOption(qint32 group, qint32 kind, quint8 flagA, quint8 flagB,
                                         qint32 defaultValue, qint32 minValue, qint32 maxValue,
                                         const char *name, std::initializer_list<const char *> labels = {})
{
    JobOptionDefinition row{group, kind, flagA, flagB, defaultValue, minValue, maxValue,
                            _kxString8_allSize<50>(name), {}, 0};
    int slot = 0;
    for (const char *label : labels)
        row.valueLabels[slot++] = _kxString8_allSize<100>(label);
    return row;
}
} // namespace detail
} // namespace kx

namespace {
KX_SDK_KEEP const JobOptionDefinition jobOptionDefinitions[kx::kJobOptionDefinitionCount] = {
    kx::detail::makeJobOption(1, 1, 0, 0, 7, 1, 18, "Number of Preview frames"),
    kx::detail::makeJobOption(1, 1, 0, 1, 1500, 1, 1500, "Max Clients At A Time"),
    kx::detail::makeJobOption(1, 1, 0, 1, 0, 0, 500, "Required Memory (GB)"),
    kx::detail::makeJobOption(1, 1, 0, 1, 0, 0, 7200, "Max Frame Time (minutes)"),
    kx::detail::makeJobOption(1, 1, 0, 1, 0, 0, INT_MAX, "Min File Size Kb"),
    kx::detail::makeJobOption(1, 1, 0, 1, 30, 0, INT_MAX, "Max Crashes"),
    kx::detail::makeJobOption(1, 1, 0, 1, 30, 0, INT_MAX, "Max Thresholds"),
    kx::detail::makeJobOption(3, 2, 0, 1, 0, 0, 6, "Render Verbose",
                              {"Default", "No Verbose", "Errors & Warnings", "Information", "Progress", "Debug"}),
    kx::detail::makeJobOption(3, 2, 0, 1, 0, 0, INT_MAX, "Render Quality",
                              {"Default", "Preview", "Normal", "Production", "Best", ""}),
    kx::detail::makeJobOption(2, 2, 1, 1, 13, 0, INT_MAX, "Color"),
    kx::detail::makeJobOption(2, 2, 0, 1, 0, 0, INT_MAX, "Approve Job",
                              {"-", "After Preview", "After frames done", "After both", "", ""}),
    kx::detail::makeJobOption(2, 1, 0, 1, 0, 0, INT_MAX, "Re-Execute Job After Hours"),
    kx::detail::makeJobOption(1, 1, 0, 1, 1, 1, 10, "Start Multiple Instances"),
    kx::detail::makeJobOption(3, 1, 1, 0, 0, 0, 100000, "Override Image Width"),
    kx::detail::makeJobOption(3, 1, 1, 0, 0, 0, 100000, "Override Image Height"),
    kx::detail::makeJobOption(3, 1, 1, 1, 0, 0, 256, "Restrict Core Count"),
    kx::detail::makeJobOption(3, 1, 1, 1, 0, 0, 1000, "Restrict Memory (GB)"),
    kx::detail::makeJobOption(1, 1, 0, 1, 0, 0, 500, "Required GPU Memory (GB)"),
    kx::detail::makeJobOption(1, 1, 0, 0, 0, 0, 256, "Required Core Count"),
    // Rows 20 to 28: empty.
    kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""), kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""),
    kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""), kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""),
    kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""), kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""),
    kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""), kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""),
    kx::detail::makeJobOption(0, 0, 0, 0, 0, 0, 0, ""),
};
} // namespace

namespace kx {
// The library's own table, for code that links the SDK rather than including
// this header: kJobOptionDefinitionCount rows.
const JobOptionDefinition *jobOptionDefinitionTable() noexcept;
} // namespace kx

#endif // KXJOBOPTIONDEFINITIONS_H
