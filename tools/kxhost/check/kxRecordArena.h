// Records of a check laid out against inaccessible pages, so that a plug-in
// reading or writing one byte past a field faults at that byte instead of
// going unnoticed in the bytes behind it.
#ifndef KXRECORDARENA_H
#define KXRECORDARENA_H

#include <QtCore/QByteArray>

#include <cstddef>
#include <vector>

namespace kx::check {

// A record's bytes; those from guardOffset for one page are inaccessible.
struct PlacedRecord
{
    unsigned char *bytes = nullptr;
    std::size_t size = 0;
    std::size_t guardOffset = 0;
    std::size_t guardEnd = 0; // first accessible byte behind the guard page (or size)

    bool isAccessible(std::size_t offset) const noexcept
    {
        return offset < size && (offset < guardOffset || offset >= guardEnd);
    }
    // The accessible bytes, the guard page left out.
    QByteArray snapshot() const;
    // Fills the accessible bytes with a pattern that differs from byte to byte.
    void fillWithPattern() const noexcept;
};

class RecordArena
{
public:
    RecordArena() = default;
    ~RecordArena();
    RecordArena(const RecordArena &) = delete;
    RecordArena &operator=(const RecordArena &) = delete;

    // Zeroed bytes whose byte guardOffset (1 .. size) begins an inaccessible
    // page; inaccessible pages also lie before the record's first page and
    // behind its last. Throws std::bad_alloc when no pages can be had.
    PlacedRecord place(std::size_t size, std::size_t guardOffset);
    PlacedRecord place(std::size_t size) { return place(size, size); }

    // Takes every access away from every record placed so far and keeps the
    // pages reserved: a pointer kept into them faults, and no later record
    // reuses their addresses.
    void retire() noexcept;

private:
    struct Block
    {
        unsigned char *pages;
        std::size_t bytes;
    };
    std::vector<Block> m_blocks;
};

} // namespace kx::check

#endif // KXRECORDARENA_H
