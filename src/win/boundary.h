#pragma once
// Windows calls our procedures from C frames: an exception must never unwind through them.
// Every hook procedure, window procedure and thread procedure runs its body through here.
#include <new>

#include "base/fatal.h"

namespace klavix {

template <class F>
auto at_boundary(const char* where, F&& body) noexcept -> decltype(body()) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    fatal("out of memory");
  } catch (...) {
    fatal(where);
  }
}

}  // namespace klavix
