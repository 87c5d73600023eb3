// Every file of the shared real-world corpus (other projects' test files) through the
// normal loading path: each either loads or is refused with an error, and the refused
// ones are exactly those listed in tests/data/realworld-refusals.txt with the reason
// they are refused for. A file that starts loading, or one that starts failing, names
// itself here; the list is then brought up to date with the change that did it.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "imageio/image_files.h"
#include "support/test_support.h"

namespace kestal {
namespace {

namespace fs = std::filesystem;

// The list: "<path under realworld/><TAB><reason>", one a line, sorted.
std::map<std::string, std::string> ReadRefusals(const fs::path& file, std::vector<std::string>& problems) {
  std::map<std::string, std::string> refusals;
  std::ifstream in(file);
  std::string line, previous;
  while (std::getline(in, line)) {
    const size_t tab = line.find('\t');
    if (tab == std::string::npos || tab == 0 || tab + 1 == line.size()) {
      problems.push_back("a line without a path, a tab and a reason: " + line);
      continue;
    }
    const std::string path = line.substr(0, tab);
    if (path <= previous) problems.push_back("not sorted or listed twice: " + path);
    previous = path;
    refusals[path] = line.substr(tab + 1);
  }
  return refusals;
}

TEST(RealworldWalk, EachFileLoadsOrIsRefusedAsListed) {
  KESTAL_REQUIRE_SAMPLES();
  const fs::path root = test::Samples() / "realworld";
  if (!fs::is_directory(root)) GTEST_SKIP() << "no real-world folder at " << root;
  std::vector<std::string> problems;
  const auto listed = ReadRefusals(test::SourceDir() / "tests" / "data" / "realworld-refusals.txt", problems);
  ASSERT_FALSE(listed.empty()) << "the refusal list is missing or empty";
  // Without Ghostscript an EPS without a preview cannot be drawn; that refusal says so
  // and is not the file's fault.
  const bool haveGhostscript = test::HaveTool("gs");

  std::vector<std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    if (e.is_regular_file() && e.path().filename() != "SOURCES.txt") {
      files.push_back(fs::relative(e.path(), root).generic_string());
    }
  }
  std::sort(files.begin(), files.end());
  size_t loaded = 0, refused = 0;
  for (const std::string& file : files) {
    auto picture = LoadImageFile((root / file).string());
    const bool isListed = listed.count(file) != 0;
    if (picture) {
      ++loaded;
      if (picture->Width() <= 0 || picture->Height() <= 0) problems.push_back(file + ": loaded as an empty picture");
      if (isListed) problems.push_back(file + ": loads now, but is listed as refused (" + listed.at(file) + ")");
      continue;
    }
    ++refused;
    const std::string why = picture.error().Line();
    if (picture.error().cause.empty()) problems.push_back(file + ": refused without a cause: " + why);
    if (!isListed && !(!haveGhostscript && why.find("Ghostscript") != std::string::npos)) {
      problems.push_back(file + ": refused, but not listed: " + why);
    }
  }
  for (const auto& [file, reason] : listed) {
    if (!std::binary_search(files.begin(), files.end(), file)) problems.push_back(file + ": listed, but not in the corpus");
  }
  std::printf("%zu files: %zu loaded, %zu refused\n", files.size(), loaded, refused);
  for (const std::string& p : problems) ADD_FAILURE() << p;
}

}  // namespace
}  // namespace kestal
