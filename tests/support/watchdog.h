// A guard for code that must end: when the guarded scope outlives its time,
// the watchdog reports what hung and ends the test program with a failure,
// so that a loop that never returns shows up as a failing test.
#ifndef QRO_TEST_WATCHDOG_H
#define QRO_TEST_WATCHDOG_H

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace qrotest {

class Watchdog {
 public:
  Watchdog(const std::string& what, int seconds);
  ~Watchdog();
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::mutex _mutex;
  std::condition_variable _done;
  bool _finished = false;
  std::thread _thread;
};

}  // namespace qrotest

#endif
