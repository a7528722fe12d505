#pragma once
// The real dictionaries, built once per fuzzer process.
#include "layout/layout.h"

namespace klavix::fuzz {

inline const Dictionaries& dictionaries() {
  static const Dictionaries d = load_dictionaries();
  return d;
}

}  // namespace klavix::fuzz
