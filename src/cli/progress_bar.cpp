#include "cli/progress_bar.h"

namespace kestal::cli {

std::string ProgressBar::Render(int number, int total, int width) {
  if (total < 1) total = 1;
  if (number < 0) number = 0;
  if (number > total) number = total;
  const int filled = static_cast<int>(static_cast<long long>(width) * number / total);
  return "Exporting image " + std::to_string(number) + " of " + std::to_string(total) + " [" +
         std::string(static_cast<size_t>(filled), '#') + std::string(static_cast<size_t>(width - filled), ' ') + "]";
}

void ProgressBar::Update(int number, int total) {
  if (!enabled_) return;
  std::fprintf(out_, "\r%s", Render(number, total, 30).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::Finish() {
  if (!drawn_) return;
  std::fprintf(out_, "\r\033[K");
  std::fflush(out_);
  drawn_ = false;
}

}  // namespace kestal::cli
