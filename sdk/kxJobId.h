// The job ID value as the job record holds it: byte 0 gives the letters of
// its text, bytes 3 to 6 a number, little-endian whatever the host's byte order.
#ifndef KXJOBID_H
#define KXJOBID_H

#include <QtCore/QtGlobal>

#include <array>
#include <cstddef>

namespace kx {

using JobId = std::array<unsigned char, 8>;

constexpr std::size_t kJobIdNumberByte = 3;
// The text shows the number divided by this.
constexpr quint32 kJobIdNumberScale = 10000;

constexpr JobId makeJobId(quint8 letterByte, quint32 number) noexcept
{
    JobId id{};
    id[0] = letterByte;
    for (std::size_t i = 0; i < 4; ++i)
        id[kJobIdNumberByte + i] = static_cast<unsigned char>(number >> (8 * i));
    return id;
}

constexpr quint32 jobIdNumber(const JobId &id) noexcept
{
    quint32 number = 0;
    for (std::size_t i = 0; i < 4; ++i)
        number |= quint32(id[kJobIdNumberByte + i]) << (8 * i);
    return number;
}

} // namespace kx

#endif // KXJOBID_H
