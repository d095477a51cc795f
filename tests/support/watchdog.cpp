#include "support/watchdog.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace qrotest {

Watchdog::Watchdog(const std::string& what, int seconds) {
  _thread = std::thread([this, what, seconds] {
    std::unique_lock<std::mutex> lock(_mutex);
    if (_done.wait_for(lock, std::chrono::seconds(seconds), [this] { return _finished; })) return;
    std::fprintf(stderr, "timed out after %d s: %s\n", seconds, what.c_str());
    std::fflush(stderr);
    std::_Exit(EXIT_FAILURE);
  });
}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> lock(_mutex);
    _finished = true;
  }
  _done.notify_all();
  _thread.join();
}

}  // namespace qrotest
