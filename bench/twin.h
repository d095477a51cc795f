// Running a benchmark's Gecode twin (built in gecode/ beside the benchmark) on
// one model, reading its figures from the line "solutions cps fails seconds"
// that it prints.
#ifndef QRO_BENCH_TWIN_H
#define QRO_BENCH_TWIN_H

#include <cstdio>
#include <string>

#include "figures.h"

// The path of the twin named name beside the program argv0.
inline std::string benchTwinPath(const char* argv0, const char* name) {
  std::string self = argv0;
  size_t slash = self.rfind('/');
  return (slash == std::string::npos ? std::string(".") : self.substr(0, slash)) + "/gecode/" +
         name;
}

// Runs the twin with the arguments; false when it is missing or failed.
inline bool benchRunTwin(const std::string& path, const std::string& args, BenchFigures& f) {
  std::string cmd = path + " " + args + " 2>/dev/null";
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return false;
  int got =
      std::fscanf(p, "%ld %lld %lld %lf", &f.solutions, &f.choicePoints, &f.fails, &f.seconds);
  return pclose(p) == 0 && got == 4;
}

#endif
