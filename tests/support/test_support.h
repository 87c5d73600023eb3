#pragma once
// Helpers shared by the tests: fixtures' paths, temporary folders, synthetic bitmaps.

#include <gtest/gtest.h>

#include <cstdint>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "bitmap/bitmap24.h"
#include "render/water_effects.h"

namespace kestal::test {

inline std::filesystem::path SourceDir() { return KESTAL_SOURCE_DIR; }
inline std::filesystem::path TestData() { return KESTAL_TEST_DATA_DIR; }
inline std::filesystem::path Samples() { return KESTAL_SAMPLES_DIR; }
inline std::filesystem::path DefaultPhoto() { return SourceDir() / "data" / "rocket.jpg"; }

// The whole content of a file; empty when it cannot be read.
inline std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Skips the current test when the shared sample folder is absent.
#define KESTAL_REQUIRE_SAMPLES()                                                       \
  do {                                                                                 \
    if (!std::filesystem::is_directory(::kestal::test::Samples()))                     \
      GTEST_SKIP() << "sample folder " << ::kestal::test::Samples() << " is absent";   \
  } while (0)

// Water with every setting away from its default, as the command line's
// kShapedWaterOptions (with --water-line for `line`) sets it.
inline constexpr const char* kShapedWaterOptions = "--tint ff0000:100 --fade 50:smooth --blur 3 --strength 150";
inline WaterSettings ShapedWater(WaterLine line = {}) {
  WaterSettings w;
  w.line = line;
  w.tintColor = Rgb(255, 0, 0);
  w.tintPercent = 100;
  w.fadePercent = 50;
  w.fadeCurve = FadeCurve::Smooth;
  w.blurRadius = 3;
  w.strengthPercent = 150;
  return w;
}

// A fresh temporary folder, removed with the object.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  const std::filesystem::path& path() const { return path_; }
  std::string operator/(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "kestal-test-XXXXXX").string();
  if (!::mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}
inline TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

// A bitmap whose every pixel differs from its neighbours: pixel (x, y) has blue x,
// green y and red x + y (all modulo 256), or a seeded pseudo-random pattern.
inline Bitmap24 Gradient(int32_t w, int32_t h) {
  auto b = Bitmap24::Create(w, h);
  EXPECT_TRUE(b.ok());
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x)
      b->SetPixel(x, y, ColorTriple{uint8_t(x), uint8_t(y), uint8_t(x + y)});
  return std::move(b.value());
}

inline Bitmap24 Noise(int32_t w, int32_t h, uint32_t seed = 1) {
  auto b = Bitmap24::Create(w, h);
  EXPECT_TRUE(b.ok());
  uint32_t s = seed;
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      b->SetPixel(x, y, ColorTriple{uint8_t(s >> 24), uint8_t(s >> 16), uint8_t(s >> 8)});
    }
  return std::move(b.value());
}

// Runs a shell command and returns its exit status and standard output.
struct CommandResult {
  int status = -1;
  std::string output;
};
CommandResult RunCommand(const std::string& command);
bool HaveTool(const std::string& name);
std::string ShellQuote(const std::string& s);

inline CommandResult RunCommand(const std::string& command) {
  CommandResult r;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) return r;
  char buf[4096];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) r.output.append(buf, n);
  const int st = ::pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  return r;
}
inline bool HaveTool(const std::string& name) {
  return RunCommand("command -v " + name + " >/dev/null 2>&1").status == 0;
}
inline std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'') out += "'\\''";
    else out += c;
  }
  return out + "'";
}

}  // namespace kestal::test
