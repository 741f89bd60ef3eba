#include "TRandomNumberGenerator.h"

#include <string>
#include <utility>

namespace shared {

namespace {

quint32 systemSeed()
{
    std::random_device device(std::string("default"));
    return static_cast<quint32>(device());
}

// Release builds compile the assertion out; swapping keeps the draw inside the two bounds
// instead of leaving the distribution with an empty range.
template <typename Integer> std::pair<Integer, Integer> orderedBounds(Integer min, Integer max)
{
    Q_ASSERT_X(min <= max, "launcher/src/shared/randomnumbergenerator", "Min <= Max");
    return min <= max ? std::make_pair(min, max) : std::make_pair(max, min);
}

} // namespace

TRandomNumberGenerator::TRandomNumberGenerator() : TRandomNumberGenerator(systemSeed()) {}

TRandomNumberGenerator::TRandomNumberGenerator(quint32 seed) : m_state(seed) {}

TRandomNumberGenerator::~TRandomNumberGenerator() = default;

quint64 TRandomNumberGenerator::randomIndex(quint64 min, quint64 max)
{
    return randomUnsigned(min, max);
}

quint64 TRandomNumberGenerator::randomUnsigned(quint64 min, quint64 max)
{
    const auto bounds = orderedBounds(min, max);
    std::uniform_int_distribution<quint64> distribution(bounds.first, bounds.second);
    return distribution(m_state);
}

qint64 TRandomNumberGenerator::randomSigned(qint64 min, qint64 max)
{
    const auto bounds = orderedBounds(min, max);
    std::uniform_int_distribution<qint64> distribution(bounds.first, bounds.second);
    return distribution(m_state);
}

} // namespace shared
