#pragma once

#include <QtGlobal>

#include <random>

namespace shared {

/// The launcher's source of random numbers: the minimal standard multiplicative congruential
/// engine, seeded from the system's random device, with unbiased uniform draws. Not
/// synchronised; use it from one thread.
class TRandomNumberGenerator
{
public:
    /// Seeds the engine from std::random_device.
    TRandomNumberGenerator();
    /// Seeds the engine with Seed (a seed of 0 modulo 2147483647 becomes 1), for reproducible runs.
    explicit TRandomNumberGenerator(quint32 seed);
    virtual ~TRandomNumberGenerator();
    TRandomNumberGenerator(const TRandomNumberGenerator&) = delete;
    TRandomNumberGenerator& operator=(const TRandomNumberGenerator&) = delete;

    /// A position in [Min, Max]; the same as randomUnsigned.
    virtual quint64 randomIndex(quint64 min, quint64 max);
    /// A value uniformly distributed in [Min, Max], both included. Requires Min <= Max.
    virtual quint64 randomUnsigned(quint64 min, quint64 max);
    /// A value uniformly distributed in [Min, Max], both included. Requires Min <= Max.
    virtual qint64 randomSigned(qint64 min, qint64 max);

private:
    /// Park-Miller minimal standard engine: state = state * 16807 mod 2147483647.
    std::minstd_rand0 m_state;
};

} // namespace shared
