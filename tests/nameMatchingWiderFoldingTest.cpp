// Name matching through the loaded module under a shared library that folds
// more than letter case: "_" and "-" compare equal. This program's own
// kxLatin1ToLower and kxLatin1FoldTable take the place of the shared
// library's for every library loaded into it (the program comes first in
// symbol lookup), as a preloaded variant of the shared library would.
#include "notifyTestHost.h"

#if defined(_WIN32)
// A DLL binds its imports to the library it names; no program can stand in for them.
TEST(WiderFoldingTest, EveryClientThatIsEqualCallsEqualIsReached)
{
    GTEST_SKIP() << "Windows binds the module to kxShared's own folding: no wider folding can be put in its place";
}
#else

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

constexpr std::array<char16_t, 256> makeWiderTable() noexcept
{
    std::array<char16_t, 256> table{};
    for (std::size_t c = 0; c < table.size(); ++c)
        table[c] = widerFolding(char16_t(c));
    return table;
}
constexpr std::array<char16_t, 256> kWiderTable = makeWiderTable();
} // namespace

KXSHARED_EXPORT char16_t kxLatin1ToLower(char16_t unit) noexcept
{
    return widerFolding(unit);
}

KXSHARED_EXPORT const char16_t *kxLatin1FoldTable() noexcept
{
    return kWiderTable.data();
}

namespace {

class WiderFoldingTest : public NotifyTestHost
{
};

TEST_F(WiderFoldingTest, EveryClientThatIsEqualCallsEqualIsReached)
{
    ASSERT_TRUE(_kxString8_allSize<50>("render_01").isEqual(_kxString8_allSize<50>("RENDER-01")));
    const struct {
        const char *list;
        std::vector<bool> reached;
    } cases[] = {
        {"render-01", {true, true, true, false, false}},
        {"RENDER_01", {true, true, true, false, false}},
        {"nobody;render_02", {false, false, false, false, true}},
        {"render01", {false, false, false, true, false}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.list);
        kx::server::ClientTableBuilder table;
        for (const char *name : {"render_01", "render-01", "Render_01", "render01", "render-02"})
            table.addClient(QString::fromLatin1(name));
        sdk.setClientTable(table.table());
        job.setRecipients(QString::fromLatin1(c.list));
        log->lines.clear();
        ASSERT_EQ(notify(), 1);
        const QString text = composedText();
        for (std::size_t i = 0; i < c.reached.size(); ++i)
            EXPECT_EQ(table.messageBox(int(i)), c.reached[i] ? text : QString()) << i;
        EXPECT_EQ(lastLine().category, 17);
    }
}

} // namespace
#endif
