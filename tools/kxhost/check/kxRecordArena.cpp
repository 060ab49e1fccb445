#include "kxRecordArena.h"

#include "kxCheckPlatform.h"

#include <algorithm>
#include <new>

namespace kx::check {

namespace {
std::size_t wholePages(std::size_t bytes) noexcept
{
    const std::size_t page = pageSize();
    return (bytes + page - 1) / page * page;
}
} // namespace

QByteArray PlacedRecord::snapshot() const
{
    QByteArray bytesSeen(reinterpret_cast<const char *>(bytes), int(std::min(guardOffset, size)));
    if (guardEnd < size)
        bytesSeen.append(reinterpret_cast<const char *>(bytes + guardEnd), int(size - guardEnd));
    return bytesSeen;
}

void PlacedRecord::fillWithPattern() const noexcept
{
    for (std::size_t i = 0; i < size; ++i) {
        if (isAccessible(i))
            bytes[i] = static_cast<unsigned char>(0xA5 ^ (i * 7) ^ (i >> 8));
    }
}

RecordArena::~RecordArena()
{
    for (const Block &block : m_blocks)
        releasePages(block.pages, block.bytes);
}

PlacedRecord RecordArena::place(std::size_t size, std::size_t guardOffset)
{
    const std::size_t page = pageSize();
    guardOffset = std::clamp<std::size_t>(guardOffset, 1, size);
    const std::size_t before = wholePages(guardOffset);
    const std::size_t behindGuard = size > guardOffset + page ? size - guardOffset - page : 0;
    const std::size_t after = wholePages(behindGuard);
    // A page behind the rest too, even when the guard page ends the record.
    const std::size_t bytes = page + before + page + after + page;
    unsigned char *pages = reservePages(bytes);
    if (!pages)
        throw std::bad_alloc();
    m_blocks.push_back({pages, bytes});
    setPagesAccessible(pages, page, false);
    setPagesAccessible(pages + page + before, page, false);
    setPagesAccessible(pages + page + before + page + after, page, false);

    PlacedRecord record;
    record.bytes = pages + page + before - guardOffset;
    record.size = size;
    record.guardOffset = guardOffset;
    record.guardEnd = std::min(size, guardOffset + page);
    return record;
}

void RecordArena::retire() noexcept
{
    for (const Block &block : m_blocks)
        setPagesAccessible(block.pages, block.bytes, false);
}

} // namespace kx::check
