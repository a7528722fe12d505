#pragma once
// A letter-trigram model of each language, generated from the embedded word lists by
// tools/gen_char_model.py: what a word that no list holds costs in either language.
#include <cstdint>

namespace klavix::char_model {

// Letters a-z (En) and а-я, ё (Ru), each after a 0 that stands for a word's start or end.
inline constexpr unsigned en_symbols = 27;
inline constexpr unsigned ru_symbols = 34;
// Eighths of a bit: cost[(a * symbols + b) * symbols + c] of c after a, b.
extern const unsigned char en_costs[en_symbols * en_symbols * en_symbols];
extern const unsigned char ru_costs[ru_symbols * ru_symbols * ru_symbols];
inline constexpr unsigned cost_scale = 8;
// The sum of the counts of each embedded list.
extern const unsigned long long en_total;
extern const unsigned long long ru_total;

}  // namespace klavix::char_model
