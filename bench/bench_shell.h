#pragma once
// Running the peers' command lines from a benchmark: their output and exit status,
// and whether a tool is installed at all.

#include <benchmark/benchmark.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace kestal::bench {

// Runs `command` through the shell and returns what it printed on standard output.
inline std::string Shell(const std::string& command, int* status = nullptr) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return out;
  char buf[1 << 16];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  const int st = ::pclose(p);
  if (status) *status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return out;
}

inline bool Have(const std::string& tool) { return !Shell("command -v " + tool).empty(); }

// libjpeg-turbo's djpeg decoding `jpeg` to nowhere, each iteration: the anchor of the
// JPEG reader's and the window's opening times.
inline void TimeDjpeg(benchmark::State& state, const std::string& jpeg) {
  const std::string cmd = "djpeg -bmp -outfile /dev/null " + jpeg;
  if (!Have("djpeg")) {
    state.SkipWithError("djpeg is not installed (libjpeg-turbo-progs)");
    return;
  }
  for (auto _ : state) {
    const int st = std::system(cmd.c_str());
    if (!WIFEXITED(st) || WEXITSTATUS(st) != 0) state.SkipWithError("djpeg failed");
  }
}

}  // namespace kestal::bench
