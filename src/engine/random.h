// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <random>

// Uniform pseudo-random values 0 <= r < 1 for dealing the board. Tests put a
// fixed sequence in its place.
class UniformRandom
{
public:
    virtual ~UniformRandom() = default;
    virtual double next() = 0;
};

class SeededRandom : public UniformRandom
{
public:
    // Seeds once from the clock, as the game does at start-up.
    void seedFromClock();
    void seed(uint64_t value) { m_engine.seed(value); }
    double next() override;

private:
    std::mt19937_64 m_engine;
};
