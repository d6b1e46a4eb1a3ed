// The pseudo-random values that give each plant its colour: 0 to 32767.
#pragma once

#include <cstdint>
#include <random>

class ColourRandom {
 public:
  static constexpr int kMax = 32767;
  explicit ColourRandom(std::uint32_t seed) : m_engine(seed) {}
  int next() { return static_cast<int>(m_engine() % (kMax + 1U)); }

 private:
  std::minstd_rand m_engine;
};
