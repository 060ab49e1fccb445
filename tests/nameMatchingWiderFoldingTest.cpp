// Name matching through the loaded module under a shared library that folds
// more than letter case: "_" and "-" compare equal. This program's own
// kxLatin1ToLower and kxLatin1FoldTable take the place of the shared
// library's for every library loaded into it (the program comes first in
// symbol lookup), as a preloaded variant of the shared library would.
#include "notifyTestHost.h"

#include <array>

namespace {
constexpr char16_t widerFolding(char16_t unit) noexcept
{
    if (unit == u'_')
        return u'-';
    if ((unit >= u'A' && unit <= u'Z') || (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7))
        return char16_t(unit + 0x20);
    return unit;
}

const std::array<char16_t, 256> kWiderTable = [] {
    std::array<char16_t, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c)
        table[c] = widerFolding(char16_t(c));
    return table;
}();
} // namespace

KXSHARED_EXPORT char16_t kxLatin1ToLower(char16_t unit) noexcept { return widerFolding(unit); }

KXSHARED_EXPORT const char16_t *kxLatin1FoldTable() noexcept { return kWiderTable.data(); }

namespace {

using WiderFoldingTest = NotifyTestHost;

TEST_F(WiderFoldingTest, EveryClientThatIsEqualCallsEqualIsReached)
{
    ASSERT_TRUE(_kxString8_allSize<50>("render_01").isEqual(_kxString8_allSize<50>("RENDER-01")));
    for (const auto &[list, marks] : {std::pair{"render-01", "+++--"}, std::pair{"RENDER_01", "+++--"},
                                      std::pair{"nobody;render_02", "----+"}, std::pair{"render01", "---+-"}}) {
        kx::server::ClientTableBuilder table;
        for (const char *name : {"render_01", "render-01", "Render_01", "render01", "render-02"})
            table.addClient(QString::fromLatin1(name));
        EXPECT_EQ(reached(table, QString::fromLatin1(list)), marks) << list;
        EXPECT_EQ(lastLine().category, 17);
    }
}

} // namespace
