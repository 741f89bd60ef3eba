#include "support/TestRandom.h"

#include <algorithm>
#include <cstring>

namespace testsupport {

QByteArray xorshiftBytes(quint64 state, int size)
{
    QByteArray data(size, Qt::Uninitialized);
    for (int position = 0; position < size; position += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        unsigned char word[8];
        for (int k = 0; k < 8; ++k)
            word[k] = static_cast<unsigned char>(state >> (8 * k));
        std::memcpy(data.data() + position, word, static_cast<std::size_t>(std::min(8, size - position)));
    }
    return data;
}

QByteArray pseudoRandom(int size, quint64 seed)
{
    // Spreads small neighbouring seeds over the state space (and keeps the state non-zero).
    return xorshiftBytes(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull, size);
}

} // namespace testsupport
