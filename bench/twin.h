// Running a benchmark's Gecode twin (built in gecode/ beside the benchmark) or
// another benchmark on one model, reading its figures from the line
// "solutions cps fails seconds" that it prints.
#ifndef QRO_BENCH_TWIN_H
#define QRO_BENCH_TWIN_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "figures.h"

// The path of the twin named name beside the program argv0.
inline std::string benchTwinPath(const char* argv0, const char* name) {
  std::string self = argv0;
  size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/gecode/" +
         name;
}

// The path of the program named name beside the program argv0.
inline std::string benchSiblingPath(const char* argv0, const char* name) {
  std::string self = argv0;
  size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/" + name;
}

// The median of ratios measured in turn (one slow or lucky run does not move it).
inline double benchMedian(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  size_t k = v.size() / 2;
  return v.size() % 2 ? v[k] : 0.5 * (v[k - 1] + v[k]);
}

// Runs the twin with the arguments; false when it is missing or failed.
inline bool benchRunTwin(const std::string& path, const std::string& args, BenchFigures& f) {
  std::string cmd = path + " " + args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  int got = std::fscanf(p, "%" SCNd64 " %" SCNd64 " %" SCNd64 " %lf", &f.solutions, &f.choicePoints,
                        &f.fails, &f.seconds);
  return pclose(p) == 0 && got == 4;
}

// The geometric mean of the time ratios (this engine / twin) of a benchmark's
// lines.
class BenchRatioMean {
 public:
  // The ratio of the two times, counted when both are positive (else 0).
  double add(double seconds, double twinSeconds) {
    if (seconds <= 0 || twinSeconds <= 0) return 0;
    double r = seconds / twinSeconds;
    _logSum += std::log(r);
    ++_count;
    return r;
  }
  // The summary line; nothing when no line had a twin.
  void print(const char* twin) const {
    if (_count > 0)
      std::printf("geometric mean ratio to %s over %d lines: %.2f\n", twin, _count,
                  std::exp(_logSum / _count));
  }

 private:
  double _logSum = 0;
  int _count = 0;
};

#endif
