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
template <typename Integer> std::pair<Integer, Integer> orderedBounds(Integer Min, Integer Max)
{
    Q_ASSERT_X(Min <= Max, "launcher/src/shared/randomnumbergenerator", "Min <= Max");
    return Min <= Max ? std::make_pair(Min, Max) : std::make_pair(Max, Min);
}

} // namespace

TRandomNumberGenerator::TRandomNumberGenerator() : TRandomNumberGenerator(systemSeed()) {}

TRandomNumberGenerator::TRandomNumberGenerator(quint32 Seed) : m_state(Seed) {}

TRandomNumberGenerator::~TRandomNumberGenerator() = default;

quint64 TRandomNumberGenerator::randomIndex(quint64 Min, quint64 Max)
{
    return randomUnsigned(Min, Max);
}

quint64 TRandomNumberGenerator::randomUnsigned(quint64 Min, quint64 Max)
{
    const auto bounds = orderedBounds(Min, Max);
    std::uniform_int_distribution<quint64> distribution(bounds.first, bounds.second);
    return distribution(m_state);
}

qint64 TRandomNumberGenerator::randomSigned(qint64 Min, qint64 Max)
{
    const auto bounds = orderedBounds(Min, Max);
    std::uniform_int_distribution<qint64> distribution(bounds.first, bounds.second);
    return distribution(m_state);
}

} // namespace shared
