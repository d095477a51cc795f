// Work that must be done whole even when user code it calls throws (a
// monitor's event, a reversible action, an evaluator): every step runs, the
// first exception goes on once the last step ran, and the later ones are
// dropped. The helpers keep no object with a destructor, so that a failure
// may still jump across them.
#ifndef QRC_FINISH_H
#define QRC_FINISH_H

namespace qrcfinish {

// Runs f, dropping whatever it throws.
template <class F>
void quietly(F&& f) {
  try {
    f();
  } catch (...) {
  }
}

inline void all() {}

// Runs every step in order; rethrows the first exception once all ran.
template <class F, class... R>
void all(F&& first, R&&... rest) {
  try {
    first();
  } catch (...) {
    (quietly(rest), ...);
    throw;
  }
  all(rest...);
}

// Runs step until it answers false, going on past a step that throws, and
// rethrows the first exception at the end. A step makes its progress before
// it calls what may throw.
template <class F>
void each(F&& step) {
  try {
    while (step()) {
    }
  } catch (...) {
    for (bool more = true; more;) quietly([&] { more = step(); });
    throw;
  }
}

}  // namespace qrcfinish

#endif
