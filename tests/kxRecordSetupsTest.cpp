#include "kxClientImage.h"
#include "kxRecordSetups.h"

#include <gtest/gtest.h>

#include <vector>

using namespace kxtest;

namespace {
constexpr unsigned char kFill = 0xAA;

// A record at an odd address inside a filled buffer with guard bytes.
struct FilledRecord
{
    explicit FilledRecord(std::size_t size) : storage(size + 9, kFill), expected(storage) {}
    unsigned char *bytes() { return storage.data() + 1; }
    unsigned char *image() { return expected.data() + 1; }
    std::vector<unsigned char> storage;
    std::vector<unsigned char> expected;
};
} // namespace

TEST(RecordSetups, NineteenSlotRecordWritesOnlyItsFields)
{
    FilledRecord record(6441);
    kx::NineteenSlotRecord::setUp(record.bytes());
    unsigned char *image = record.image();
    image[6440] = 1;
    for (std::size_t slot = 0; slot < 19 * 328; slot += 328) {
        put16(image, slot, 0);
        image[slot + 2] = 0;
        put32(image, slot + 208, 65);
        put16(image, slot + 212, 1);
        put16(image, slot + 214, 0);
        image[slot + 216] = 0;
        image[slot + 269] = 0;
        image[slot + 270] = 1;
        image[slot + 271] = 0;
        put16(image, slot + 272, 0);
        image[slot + 274] = 0;
    }
    EXPECT_EQ(record.storage, record.expected);
}

TEST(RecordSetups, TextRecordWritesOnlyItsFields)
{
    FilledRecord record(640);
    kx::TextRecord::setUp(record.bytes());
    unsigned char *image = record.image();
    put16(image, 16, 0);
    put32(image, 18, 0); // length and reserved field
    put16(image, 22, 0);
    for (std::size_t text : {432, 536}) {
        put16(image, text, 0);
        image[text + 2] = 0;
    }
    EXPECT_EQ(record.storage, record.expected);
}

TEST(RecordSetups, PresetRecord)
{
    FilledRecord record(160);
    kx::PresetRecord::setUp(record.bytes());
    unsigned char *image = record.image();
    std::memset(image, 0, 160);
    put32(image, 0, 517);
    put16(image, 4, 2);
    put16(image, 6, 6);
    std::memcpy(image + 8, "kxNemo", 7);
    image[74] = 255;
    put16(image, 134, 0xFFFF);
    put16(image, 144, 1);
    EXPECT_EQ(record.storage, record.expected);
}
