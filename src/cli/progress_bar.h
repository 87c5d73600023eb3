#pragma once
// A one-line progress bar on a terminal: "Exporting image 3 of 10 [######    ]".

#include <cstdio>
#include <string>

namespace kestal::cli {

class ProgressBar {
 public:
  // Draws only when `enabled` (the caller checks that stderr is a terminal).
  ProgressBar(FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  ~ProgressBar() { Finish(); }

  void Update(int number, int total);
  // Clears the line, so that messages that follow start on a clean line.
  void Finish();

  static std::string Render(int number, int total, int width);

 private:
  FILE* out_;
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace kestal::cli
