#pragma once
// The entry point of the benchmarks that need the desktop program's library: one
// application object, offscreen unless a platform was chosen.

#include <benchmark/benchmark.h>

#include <QApplication>

namespace kestal::bench {

inline int GuiBenchMain(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace kestal::bench
