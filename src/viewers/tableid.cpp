#include "viewers/tableid_p.h"

#include <random>

namespace Viewers::Internal {

TableId randomTableId()
{
    thread_local std::mt19937_64 generator{[] {
        std::random_device device;
        std::seed_seq seed{device(), device(), device(), device()};
        return std::mt19937_64(seed);
    }()};
    TableId id;
    for (std::size_t i = 0; i < id.size(); i += 8) {
        const std::uint64_t bits = generator();
        for (std::size_t b = 0; b < 8; ++b)
            id[i + b] = std::uint8_t(bits >> (8 * b));
    }
    // Version 4, variant 1, so the value reads as a standard random UUID.
    id[6] = std::uint8_t((id[6] & 0x0F) | 0x40);
    id[8] = std::uint8_t((id[8] & 0x3F) | 0x80);
    return id;
}

} // namespace Viewers::Internal
