#pragma once
// A reader of the RIFF tree of an AVI file, written apart from the writer, for tests.
// It reads chunk headers with seeks, so it walks files over 4 GiB without loading them,
// and reports the first structural fault it meets.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace kestal::test {

struct AviRiff {
  std::string type;                  // "AVI " or "AVIX"
  uint64_t offset = 0;               // of the RIFF header
  uint32_t size = 0;                 // the RIFF's size field
  uint64_t movi = 0;                 // offset of its 'movi' fourcc
  std::vector<uint64_t> frames;      // offsets of its '00db' chunks' data
  uint64_t ix00 = 0;                 // offset of its 'ix00' chunk (0: none)
  std::vector<uint8_t> ix00Data;
};

struct AviLayout {
  std::string fault;  // empty when every size adds up
  uint64_t fileSize = 0;
  std::vector<AviRiff> riffs;
  std::vector<uint8_t> avih, strh, strf, indx, dmlh, idx1;
};

inline uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
  if (at + 4 > d.size()) return 0xDEADBEEF;
  return uint32_t(d[at]) | uint32_t(d[at + 1]) << 8 | uint32_t(d[at + 2]) << 16 | uint32_t(d[at + 3]) << 24;
}
inline uint64_t Le64(const std::vector<uint8_t>& d, size_t at) {
  return Le32(d, at) | uint64_t{Le32(d, at + 4)} << 32;
}

inline std::vector<uint8_t> ReadFileRange(const std::string& path, uint64_t offset, size_t size) {
  std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path.c_str(), "rb"), std::fclose);
  std::vector<uint8_t> out(size);
  if (!f || ::fseeko(f.get(), static_cast<off_t>(offset), SEEK_SET) != 0 ||
      std::fread(out.data(), 1, size, f.get()) != size) {
    out.clear();
  }
  return out;
}

class AviWalker {
 public:
  explicit AviWalker(const std::string& path) : path_(path) {}

  AviLayout Walk() {
    AviLayout l;
    std::unique_ptr<FILE, int (*)(FILE*)> f(std::fopen(path_.c_str(), "rb"), std::fclose);
    if (!f) return l.fault = "cannot open " + path_, l;
    ::fseeko(f.get(), 0, SEEK_END);
    l.fileSize = static_cast<uint64_t>(::ftello(f.get()));
    uint64_t pos = 0;
    while (l.fault.empty() && pos < l.fileSize) {
      auto h = ReadFileRange(path_, pos, 12);
      if (h.size() != 12 || Tag(h, 0) != "RIFF") return l.fault = "no RIFF at " + std::to_string(pos), l;
      AviRiff r{Tag(h, 8), pos, Le32(h, 4)};
      const uint64_t end = pos + 8 + r.size;
      if (end > l.fileSize) return l.fault = "RIFF at " + std::to_string(pos) + " overruns the file", l;
      l.riffs.push_back(r);
      Children(l, pos + 12, end);
      pos = end;
    }
    return l;
  }

 private:
  static std::string Tag(const std::vector<uint8_t>& d, size_t at) {
    return std::string(reinterpret_cast<const char*>(d.data()) + at, 4);
  }

  void Children(AviLayout& l, uint64_t pos, uint64_t end) {
    AviRiff& riff = l.riffs.back();
    while (l.fault.empty() && pos < end) {
      auto h = ReadFileRange(path_, pos, 12);
      if (h.size() < 8 || pos + 8 > end) {
        l.fault = "truncated chunk at " + std::to_string(pos);
        return;
      }
      const std::string id = Tag(h, 0);
      const uint32_t size = Le32(h, 4);
      const uint64_t next = pos + 8 + size + (size & 1);
      if (pos + 8 + size > end) {
        l.fault = id + " at " + std::to_string(pos) + " overruns its parent";
        return;
      }
      if (id == "LIST") {
        if (Tag(h, 8) == "movi") riff.movi = pos + 8;
        Children(l, pos + 12, pos + 8 + size);
      } else if (id == "00db") {
        riff.frames.push_back(pos + 8);
      } else if (id == "ix00") {
        riff.ix00 = pos;
        riff.ix00Data = ReadFileRange(path_, pos + 8, size);
      } else {
        for (auto [name, out] : {std::pair{"avih", &l.avih}, {"strh", &l.strh}, {"strf", &l.strf},
                                 {"indx", &l.indx}, {"dmlh", &l.dmlh}, {"idx1", &l.idx1}}) {
          if (id == name) *out = ReadFileRange(path_, pos + 8, size);
        }
      }
      pos = next;
    }
  }

  std::string path_;
};

// Checks that the counts of avih, strh, dmlh, idx1, the super index and the standard
// indexes agree with the frame chunks found, and that every index entry points at one.
inline void ExpectConsistentAvi(const AviLayout& l) {
  ASSERT_EQ(l.fault, "");
  ASSERT_FALSE(l.riffs.empty());
  uint64_t sum = 0;
  for (const AviRiff& r : l.riffs) sum += 8 + uint64_t{r.size};
  EXPECT_EQ(sum, l.fileSize) << "the RIFF sizes add up to the file size";
  const uint32_t frameSize = Le32(l.strf, 20);
  size_t total = 0;
  ASSERT_EQ(Le32(l.indx, 4), l.riffs.size()) << "one super-index entry per RIFF";
  for (size_t i = 0; i < l.riffs.size(); ++i) {
    const AviRiff& r = l.riffs[i];
    SCOPED_TRACE("RIFF " + std::to_string(i));
    EXPECT_EQ(r.type, i == 0 ? "AVI " : "AVIX");
    total += r.frames.size();
    EXPECT_EQ(Le64(l.indx, 24 + 16 * i), r.ix00) << "the super index points at the ix00 chunk";
    EXPECT_EQ(Le32(l.indx, 32 + 16 * i), 8 + r.ix00Data.size());
    EXPECT_EQ(Le32(l.indx, 36 + 16 * i), r.frames.size());
    ASSERT_EQ(Le32(r.ix00Data, 4), r.frames.size());
    const uint64_t base = Le64(r.ix00Data, 12);
    for (size_t j = 0; j < r.frames.size(); ++j) {
      EXPECT_EQ(base + Le32(r.ix00Data, 24 + 8 * j), r.frames[j]);
      EXPECT_EQ(Le32(r.ix00Data, 28 + 8 * j), frameSize) << "a key frame of the frame's size";
    }
  }
  const AviRiff& first = l.riffs[0];
  EXPECT_EQ(Le32(l.avih, 16), first.frames.size()) << "avih counts the first RIFF";
  ASSERT_EQ(l.idx1.size(), 16 * first.frames.size());
  for (size_t j = 0; j < first.frames.size(); ++j) {
    EXPECT_EQ(Le32(l.idx1, 16 * j + 4), 0x10u) << "AVIIF_KEYFRAME";
    EXPECT_EQ(first.movi + Le32(l.idx1, 16 * j + 8) + 8, first.frames[j]);
  }
  EXPECT_EQ(Le32(l.strh, 32), total) << "strh counts every frame";
  EXPECT_EQ(Le32(l.dmlh, 0), total) << "dmlh counts every frame";
}

}  // namespace kestal::test
