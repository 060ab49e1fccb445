#include "kxClientImage.h"
#include "kxClientTableBuilder.h"

#include <gtest/gtest.h>

using namespace kxtest;

TEST(ClientTableBuilder, ClientsAreConstructedRecordsWithTheirNames)
{
    kx::server::ClientTableBuilder builder;
    const int constructed = builder.addClient(QStringLiteral("render01"));
    const int zeroed = builder.addClient(QStringLiteral("render02"), kx::server::ClientTableBuilder::ClientRecord::Zeroed);
    ASSERT_EQ(builder.clientCount(), 2);

    const unsigned char *record = builder.client(constructed);
    EXPECT_EQ(get32(record, 0), 0xFFFFFFFFu);
    EXPECT_EQ(get16(record, 3856), 0xFFFFu);
    EXPECT_EQ(wideNameAt(record, 3856 + 4 + 106), "execute");
    EXPECT_EQ(builder.clientName(constructed), QStringLiteral("render01"));
    EXPECT_TRUE(builder.messageBox(constructed).isEmpty());

    EXPECT_EQ(get32(builder.client(zeroed), 0), 0u);
    EXPECT_EQ(builder.clientName(zeroed), QStringLiteral("render02"));

    builder.setMessageBox(constructed, QStringLiteral("hello"));
    EXPECT_EQ(builder.messageBox(constructed), QStringLiteral("hello"));
}
