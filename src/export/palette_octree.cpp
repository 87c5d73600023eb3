// ComputePalette: an octree over 8 bits per channel gathers the picture's colours into
// at most kMaxLeaves weighted clusters; reducing the tree further gives the first
// palette. Merging a node folds up to eight leaves into one, so the octree alone often
// ends below the size asked for (13 of 16 on a photo). Refinement passes fill the
// palette by splitting the worst clusters, then move every entry to the weighted mean
// of the clusters nearest to it (k-means over the octree's leaves).

#include <algorithm>
#include <cstdint>
#include <limits>
#include <vector>

#include "export/color_reduce.h"

namespace kestal {
namespace {

// The octree keeps at most this many leaves while it reads the picture; enough that
// the refinement has a faithful sample, few enough that it runs in a few milliseconds.
constexpr int kMaxLeaves = 4096;
constexpr int kDepth = 8;
constexpr int kRefinementPasses = 6;

struct Node {
  uint64_t count = 0;
  uint64_t sum[3] = {0, 0, 0};  // red, green, blue
  int32_t child[8] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int32_t next_reducible = -1;
  int32_t level = 0;
  bool leaf = false;
};

// A weighted colour: a leaf of the octree.
struct Sample {
  double c[3];
  double weight;
};

class Octree {
 public:
  Octree() {
    nodes_.push_back(Node{});
    reducible_[0] = 0;
  }

  void Add(int r, int g, int b) {
    int32_t n = 0;
    for (int level = 0; !nodes_[n].leaf; ++level) {
      const int shift = kDepth - 1 - level;
      const int slot = (((r >> shift) & 1) << 2) | (((g >> shift) & 1) << 1) | ((b >> shift) & 1);
      int32_t c = nodes_[n].child[slot];
      if (c < 0) {
        c = NewNode(level + 1);
        nodes_[n].child[slot] = c;
      }
      n = c;
    }
    Node& leaf = nodes_[n];
    leaf.count++;
    leaf.sum[0] += r;
    leaf.sum[1] += g;
    leaf.sum[2] += b;
    while (leaves_ > kMaxLeaves && Reduce(false)) {
    }
  }

  int Leaves() const { return leaves_; }

  // Merges nodes until at most `size` leaves remain.
  void ReduceTo(int size) {
    while (leaves_ > size && Reduce(true)) {
    }
  }

  std::vector<Sample> LeafSamples() const {
    std::vector<Sample> out;
    out.reserve(static_cast<size_t>(leaves_));
    for (const Node& n : nodes_) {
      if (!n.leaf || n.count == 0) continue;
      const double w = static_cast<double>(n.count);
      out.push_back(Sample{{n.sum[0] / w, n.sum[1] / w, n.sum[2] / w}, w});
    }
    return out;
  }

 private:
  int32_t NewNode(int level) {
    int32_t id;
    if (!free_.empty()) {
      id = free_.back();
      free_.pop_back();
      nodes_[id] = Node{};
    } else {
      id = static_cast<int32_t>(nodes_.size());
      nodes_.push_back(Node{});
    }
    Node& n = nodes_[id];
    n.level = level;
    if (level == kDepth) {
      n.leaf = true;
      ++leaves_;
    } else {
      n.next_reducible = reducible_[level];
      reducible_[level] = id;
    }
    return id;
  }

  // Folds the children of one node from the deepest level that has any into it. While
  // reading, the most recent node goes (cheap); for the final palette, the one holding
  // the fewest pixels goes, which keeps the colours that cover most of the picture.
  bool Reduce(bool fewest) {
    int level = kDepth - 1;
    while (level > 0 && reducible_[level] < 0) --level;
    if (reducible_[level] < 0) return false;
    int32_t prev = -1, pick_prev = -1, pick = reducible_[level];
    if (fewest) {
      uint64_t best = std::numeric_limits<uint64_t>::max();
      for (int32_t id = reducible_[level]; id >= 0; prev = id, id = nodes_[id].next_reducible) {
        const uint64_t weight = SubtreeCount(id);
        if (weight < best) {
          best = weight;
          pick = id;
          pick_prev = prev;
        }
      }
    }
    if (pick_prev < 0) reducible_[level] = nodes_[pick].next_reducible;
    else nodes_[pick_prev].next_reducible = nodes_[pick].next_reducible;

    Node& n = nodes_[pick];
    int merged = 0;
    for (int32_t& c : n.child) {
      if (c < 0) continue;
      // Children at the deepest reducible level are leaves.
      n.count += nodes_[c].count;
      for (int k = 0; k < 3; ++k) n.sum[k] += nodes_[c].sum[k];
      nodes_[c] = Node{};  // a free node is no leaf
      free_.push_back(c);
      c = -1;
      ++merged;
    }
    n.leaf = true;
    leaves_ -= merged - 1;
    return true;
  }

  uint64_t SubtreeCount(int32_t id) const {
    uint64_t total = 0;
    for (int32_t c : nodes_[id].child) {
      if (c >= 0) total += nodes_[c].count;
    }
    return total;
  }

  std::vector<Node> nodes_;
  std::vector<int32_t> free_;
  int32_t reducible_[kDepth] = {-1, -1, -1, -1, -1, -1, -1, -1};
  int leaves_ = 0;
};

double Distance2(const double* a, const double* b) {
  const double dr = a[0] - b[0], dg = a[1] - b[1], db = a[2] - b[2];
  return dr * dr + dg * dg + db * db;
}

struct Assignment {
  std::vector<int> cluster;      // per sample
  std::vector<double> error;     // per sample: weight × squared distance
};

Assignment Assign(const std::vector<Sample>& samples, const std::vector<std::array<double, 3>>& centres) {
  Assignment a;
  a.cluster.resize(samples.size());
  a.error.resize(samples.size());
  for (size_t i = 0; i < samples.size(); ++i) {
    double best = std::numeric_limits<double>::max();
    int pick = 0;
    for (size_t k = 0; k < centres.size(); ++k) {
      const double d = Distance2(samples[i].c, centres[k].data());
      if (d < best) {
        best = d;
        pick = static_cast<int>(k);
      }
    }
    a.cluster[i] = pick;
    a.error[i] = best * samples[i].weight;
  }
  return a;
}

// Adds up to `wanted` centres: each at the worst-served sample of one of the clusters
// with the largest error, the clusters taken in order of error.
void SplitWorstClusters(const std::vector<Sample>& samples, const Assignment& a,
                        std::vector<std::array<double, 3>>& centres, size_t wanted) {
  std::vector<double> cluster_error(centres.size(), 0.0);
  std::vector<int> worst(centres.size(), -1);
  for (size_t i = 0; i < samples.size(); ++i) {
    const int k = a.cluster[i];
    cluster_error[k] += a.error[i];
    if (a.error[i] > 0 && (worst[k] < 0 || a.error[i] > a.error[worst[k]])) worst[k] = static_cast<int>(i);
  }
  std::vector<int> order;
  for (size_t k = 0; k < centres.size(); ++k) {
    if (worst[k] >= 0) order.push_back(static_cast<int>(k));
  }
  std::sort(order.begin(), order.end(),
            [&](int x, int y) { return cluster_error[x] > cluster_error[y]; });
  for (size_t j = 0; j < order.size() && j < wanted; ++j) {
    const Sample& s = samples[worst[order[j]]];
    centres.push_back({s.c[0], s.c[1], s.c[2]});
  }
}

// One k-means step: every centre moves to the weighted mean of its samples. A centre
// left without samples moves to the sample served worst, so no entry goes to waste.
void MoveCentres(const std::vector<Sample>& samples, Assignment& a,
                 std::vector<std::array<double, 3>>& centres) {
  std::vector<std::array<double, 4>> acc(centres.size(), {0, 0, 0, 0});
  for (size_t i = 0; i < samples.size(); ++i) {
    auto& s = acc[a.cluster[i]];
    for (int k = 0; k < 3; ++k) s[k] += samples[i].c[k] * samples[i].weight;
    s[3] += samples[i].weight;
  }
  for (size_t k = 0; k < centres.size(); ++k) {
    if (acc[k][3] > 0) {
      for (int c = 0; c < 3; ++c) centres[k][c] = acc[k][c] / acc[k][3];
      continue;
    }
    const auto worst = std::max_element(a.error.begin(), a.error.end());
    if (worst == a.error.end() || *worst <= 0) continue;
    const Sample& s = samples[worst - a.error.begin()];
    centres[k] = {s.c[0], s.c[1], s.c[2]};
    *worst = 0;
  }
}

uint8_t RoundChannel(double v) {
  return static_cast<uint8_t>(std::clamp(static_cast<int>(v + 0.5), 0, 255));
}

ColorTriple ToColor(const std::array<double, 3>& c) {
  return ColorTriple{RoundChannel(c[2]), RoundChannel(c[1]), RoundChannel(c[0])};
}

// Rounding may make two entries equal; each duplicate takes a sample colour that the
// palette lacks, as long as there is one.
void MakeDistinct(const std::vector<Sample>& samples, Palette& palette) {
  auto key = [](ColorTriple c) { return (uint32_t(c.red) << 16) | (uint32_t(c.green) << 8) | c.blue; };
  std::vector<uint32_t> used;
  std::vector<size_t> duplicates;
  for (size_t k = 0; k < palette.size(); ++k) {
    const uint32_t v = key(palette[k]);
    if (std::find(used.begin(), used.end(), v) != used.end()) duplicates.push_back(k);
    else used.push_back(v);
  }
  for (size_t i = 0; i < samples.size() && !duplicates.empty(); ++i) {
    const ColorTriple c = ToColor({samples[i].c[0], samples[i].c[1], samples[i].c[2]});
    if (std::find(used.begin(), used.end(), key(c)) != used.end()) continue;
    used.push_back(key(c));
    palette[duplicates.back()] = c;
    duplicates.pop_back();
  }
}

}  // namespace

Palette ComputePalette(const Bitmap24& bitmap, int size) {
  size = std::clamp(size, 1, 256);
  Octree tree;
  for (int32_t y = 0; y < bitmap.Height(); ++y) {
    const uint8_t* p = bitmap.Row(y);
    for (int32_t x = 0; x < bitmap.Width(); ++x, p += 3) tree.Add(p[2], p[1], p[0]);
  }
  const std::vector<Sample> samples = tree.LeafSamples();
  tree.ReduceTo(size);
  std::vector<std::array<double, 3>> centres;
  for (const Sample& s : tree.LeafSamples()) centres.push_back({s.c[0], s.c[1], s.c[2]});

  if (!samples.empty()) {
    Assignment a = Assign(samples, centres);
    // Fill the palette: at most a few rounds, since each round at least doubles the
    // clusters that can still be split.
    for (int round = 0; round < 8 && centres.size() < static_cast<size_t>(size); ++round) {
      const size_t before = centres.size();
      SplitWorstClusters(samples, a, centres, static_cast<size_t>(size) - centres.size());
      if (centres.size() == before) break;
      a = Assign(samples, centres);
    }
    for (int pass = 0; pass < kRefinementPasses; ++pass) {
      MoveCentres(samples, a, centres);
      a = Assign(samples, centres);
    }
  }

  Palette palette;
  palette.reserve(static_cast<size_t>(size));
  for (const auto& c : centres) palette.push_back(ToColor(c));
  MakeDistinct(samples, palette);
  palette.resize(static_cast<size_t>(size), ColorTriple{0, 0, 0});
  return palette;
}

}  // namespace kestal
