#include "imageio/codecs/eps_reader.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "base/byte_reader.h"
#include "base/file_input.h"
#include "imageio/codecs/decode_util.h"
#include "imageio/codecs/metafile/reader.h"
#include "imageio/codecs/png_codec.h"
#include "imageio/codecs/tiff_reader.h"

namespace kestal {
namespace {

constexpr uint8_t kBinaryMagic[4] = {0xC5, 0xD0, 0xD3, 0xC6};

// The sections that a DOS EPS binary header points at.
struct Sections {
  ByteSpan postscript;
  ByteSpan metafile;
  ByteSpan tiff;
};

Result<Sections> SplitBinaryHeader(ByteSpan data) {
  ByteReader in(data);
  in.Skip(4);
  const uint32_t psStart = in.U32LE(), psLength = in.U32LE();
  const uint32_t wmfStart = in.U32LE(), wmfLength = in.U32LE();
  const uint32_t tiffStart = in.U32LE(), tiffLength = in.U32LE();
  if (in.Failed()) return Error::Truncated("the EPS binary header is truncated");
  auto section = [&](uint32_t start, uint32_t length) -> std::optional<ByteSpan> {
    if (start > data.size() || length > data.size() - start) return std::nullopt;
    return data.subspan(start, length);
  };
  auto ps = section(psStart, psLength);
  auto wmf = section(wmfStart, wmfLength);
  auto tiff = section(tiffStart, tiffLength);
  if (!ps || !wmf || !tiff) return Error::Truncated("the EPS binary header points past the end of the file");
  return Sections{*ps, *wmf, *tiff};
}

std::string_view AsText(ByteSpan data) {
  return std::string_view(reinterpret_cast<const char*>(data.data()), data.size());
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// An EPSI preview: "%%BeginPreview: width height depth lines", then comment lines of
// hexadecimal digits up to "%%EndPreview". Rows start on byte boundaries, samples are
// packed from the high bit, and 0 is white while the highest level is black.
std::optional<Result<Bitmap24>> ReadEpsiPreview(std::string_view text, const PixelLimits& limits) {
  const size_t begin = text.find("%%BeginPreview:");
  if (begin == std::string_view::npos) return std::nullopt;
  const size_t lineEnd = text.find_first_of("\r\n", begin);
  const std::string header(text.substr(begin + 15, lineEnd == std::string_view::npos ? 0 : lineEnd - begin - 15));
  long width = 0, height = 0, depth = 0;
  if (std::sscanf(header.c_str(), "%ld %ld %ld", &width, &height, &depth) != 3) {
    return Result<Bitmap24>(Error::Invalid("the EPSI preview header is unreadable"));
  }
  if (depth != 1 && depth != 2 && depth != 4 && depth != 8) {
    return Result<Bitmap24>(Error::Unsupported("unsupported EPSI preview depth " + std::to_string(depth)));
  }
  size_t end = text.find("%%EndPreview", lineEnd);
  if (end == std::string_view::npos) end = text.size();
  const std::string_view hex = text.substr(lineEnd, end - lineEnd);
  if (Status s = CheckPixelSize(width, height, limits); !s) return Result<Bitmap24>(s.error());
  const size_t rowBytes = (static_cast<size_t>(width) * static_cast<size_t>(depth) + 7) / 8;
  // Two digits a byte: a preview whose text is too short to hold its rows is refused
  // before anything is allocated.
  if (rowBytes * static_cast<size_t>(height) * 2 > hex.size()) {
    return Result<Bitmap24>(Error::Truncated("the EPSI preview is truncated"));
  }
  auto bitmap = CreateFromHeader(width, height, limits);
  if (!bitmap) return Result<Bitmap24>(bitmap.error());

  std::vector<uint8_t> row(rowBytes);
  size_t pos = 0;
  auto nextByte = [&]() -> int {
    int high = -1;
    while (pos < hex.size()) {
      const int v = HexValue(hex[pos++]);
      if (v < 0) continue;
      if (high < 0) {
        high = v;
      } else {
        return high << 4 | v;
      }
    }
    return -1;
  };
  const unsigned max = (1u << depth) - 1;
  for (int32_t y = 0; y < bitmap->Height(); ++y) {
    for (uint8_t& b : row) {
      const int v = nextByte();
      if (v < 0) return Result<Bitmap24>(Error::Truncated("the EPSI preview is truncated"));
      b = static_cast<uint8_t>(v);
    }
    for (int32_t x = 0; x < bitmap->Width(); ++x) {
      const size_t bit = static_cast<size_t>(x) * static_cast<size_t>(depth);
      const unsigned sample = (row[bit / 8] >> (8 - depth - bit % 8)) & max;
      const uint8_t level = static_cast<uint8_t>(255 - ScaleTo8(sample, max));
      bitmap->SetPixel(x, y, ColorTriple{level, level, level});
    }
  }
  return Result<Bitmap24>(std::move(bitmap));
}

// The lines of a text, each without its line end, until `use` returns false.
template <class Use>
void EachLine(std::string_view text, Use use) {
  for (size_t pos = 0; pos < text.size();) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string_view::npos) end = text.size();
    if (!use(text.substr(pos, end - pos), pos)) return;
    pos = end + 1;
  }
}

// A header comment whose value is "(atend)" promises it in the trailer; PostScript that
// ends before its "%%Trailer" line was cut short, and rendering what is left would draw
// a different picture.
Status CheckTrailer(std::string_view text) {
  bool promised = false, trailer = false;
  EachLine(text, [&](std::string_view line, size_t) {
    if (line.starts_with("%%Trailer")) return !(trailer = true);
    if (line.starts_with("%%") && line.find("(atend)") != std::string_view::npos) promised = true;
    return true;
  });
  if (promised && !trailer) return Error::Truncated("the PostScript ends before the trailer its header promises");
  return Status::Ok();
}

// A header "%%BoundingBox: (atend)" defers the box to the trailer, where Ghostscript
// does not look for it (it would crop to a whole default page). The PostScript handed
// to it has the header's line replaced by the trailer's last box; empty when there is
// nothing to replace.
std::string WithTrailerBoundingBox(std::string_view text) {
  constexpr std::string_view kBox = "%%BoundingBox:";
  size_t atend = std::string_view::npos, trailer = std::string_view::npos, lineLength = 0;
  std::string_view box;
  EachLine(text, [&](std::string_view line, size_t pos) {
    if (trailer == std::string_view::npos && line.starts_with("%%Trailer")) trailer = pos;
    if (!line.starts_with(kBox)) return true;
    if (trailer != std::string_view::npos) {
      box = line;  // the last one counts
    } else if (atend == std::string_view::npos && line.find("(atend)") != std::string_view::npos) {
      atend = pos, lineLength = line.size();
    }
    return true;
  });
  if (atend == std::string_view::npos || box.empty()) return {};
  std::string copy(text);
  copy.replace(atend, lineLength, box);
  return copy;
}

// The PostScript of a plain or binary-headed EPS file, with any TIFF preview.
Result<Sections> Split(ByteSpan data) {
  if (StartsWith(data, ByteSpan(kBinaryMagic, 4))) return SplitBinaryHeader(data);
  return Sections{data, ByteSpan{}, ByteSpan{}};
}

Result<Bitmap24> Preview(const Sections& s, const PixelLimits& limits, bool& found) {
  found = true;
  if (!s.tiff.empty()) return ReadTiff(s.tiff, limits);
  // A metafile preview is used when the metafile reader can draw it (bitmaps only);
  // otherwise the PostScript's own preview or its rendering is the next best.
  if (!s.metafile.empty()) {
    if (auto wmf = ReadMetafile(s.metafile, limits)) return wmf;
  }
  if (auto epsi = ReadEpsiPreview(AsText(s.postscript), limits)) return std::move(*epsi);
  found = false;
  return Error::Invalid("the EPS file has no preview");
}

bool OnPath(const std::string& program) {
  if (program.find('/') != std::string::npos) return ::access(program.c_str(), X_OK) == 0;
  const char* path = std::getenv("PATH");
  std::string_view dirs = path ? path : "/usr/bin:/bin";
  while (!dirs.empty()) {
    const size_t colon = dirs.find(':');
    const std::string dir(dirs.substr(0, colon));
    if (!dir.empty() && ::access((dir + "/" + program).c_str(), X_OK) == 0) return true;
    dirs = colon == std::string_view::npos ? std::string_view() : dirs.substr(colon + 1);
  }
  return false;
}

// Runs a program with its output discarded, waiting at most `seconds`. Returns its
// exit status, or -1 when it could not start, was killed or ran out of time.
int RunWithTimeLimit(const std::vector<std::string>& argv, int seconds, bool& timedOut) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    const int devnull = ::open("/dev/null", O_RDWR);
    if (devnull >= 0) {
      ::dup2(devnull, 0), ::dup2(devnull, 1), ::dup2(devnull, 2);
    }
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  int status = 0;
  while (true) {
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (done < 0 && errno != EINTR) return -1;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      timedOut = true;
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A temporary folder removed with the object.
struct TempFolder {
  std::filesystem::path path;
  TempFolder() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "kestal-eps-XXXXXX").string();
    if (::mkdtemp(tmpl.data())) path = tmpl;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

bool AllWhite(const Bitmap24& b) {
  for (int32_t y = 0; y < b.Height(); ++y) {
    const uint8_t* row = b.Row(y);
    if (!std::all_of(row, row + 3 * static_cast<size_t>(b.Width()), [](uint8_t v) { return v == 255; })) return false;
  }
  return true;
}

}  // namespace

bool SniffEps(ByteSpan data) {
  return StartsWith(data, ByteSpan(kBinaryMagic, 4)) ||
         (StartsWith(data, "%!PS-Adobe-") && AsText(data.first(std::min<size_t>(data.size(), 64))).find("EPSF") !=
                                                 std::string_view::npos);
}

Result<Bitmap24> ReadEpsPreview(ByteSpan data, const PixelLimits& limits) {
  auto sections = Split(data);
  if (!sections) return sections.error();
  bool found = false;
  return Preview(sections.value(), limits, found);
}

Result<Bitmap24> ReadEps(ByteSpan data, const PixelLimits& limits) {
  auto sections = Split(data);
  if (!sections) return sections.error();
  bool found = false;
  auto preview = Preview(sections.value(), limits, found);
  // A preview left all white by its writer shows nothing of the picture: the PostScript
  // is rendered instead where Ghostscript can.
  if (found && !(preview && AllWhite(preview.value()) && OnPath("gs"))) return preview;
  if (Status s = CheckTrailer(AsText(sections->postscript)); !s) return s.error();
  const std::string boxed = WithTrailerBoundingBox(AsText(sections->postscript));
  if (!boxed.empty()) {
    return RenderPostScript(ByteSpan(reinterpret_cast<const uint8_t*>(boxed.data()), boxed.size()), limits);
  }
  return RenderPostScript(sections->postscript, limits);
}

Result<Bitmap24> RenderPostScript(ByteSpan postscript, const PixelLimits& limits, const std::string& program,
                                  int timeLimitSeconds) {
  if (!OnPath(program)) {
    return Error::Unsupported("the EPS file has no preview, and rendering its PostScript is not available: "
                     "Ghostscript (gs) is not installed");
  }
  TempFolder dir;
  if (dir.path.empty()) return Error::Io("no temporary folder for Ghostscript's rendering");
  const std::string input = (dir.path / "input.eps").string();
  const std::string output = (dir.path / "page.png").string();
  {
    FILE* f = std::fopen(input.c_str(), "wb");
    const bool written = f && std::fwrite(postscript.data(), 1, postscript.size(), f) == postscript.size();
    if (f) std::fclose(f);
    if (!written) return Error::Io("the PostScript could not be handed to Ghostscript (temporary file)");
  }
  bool timedOut = false;
  const int status = RunWithTimeLimit({program, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-dEPSCrop",
                                       "-dFirstPage=1", "-dLastPage=1", "-sDEVICE=png16m", "-r72",
                                       "-dTextAlphaBits=4", "-dGraphicsAlphaBits=4",
                                       "-sOutputFile=" + output, input},
                                      timeLimitSeconds, timedOut);
  if (timedOut) {
    return Error::OverLimit("Ghostscript took longer than " + std::to_string(timeLimitSeconds) +
                     " seconds to render the PostScript and was stopped");
  }
  if (status != 0) return Error::Invalid("Ghostscript could not render the PostScript (exit status " + std::to_string(status) + ")");
  auto png = ReadWholeFile(output);
  if (!png) return Error::Invalid("Ghostscript wrote no picture");
  return ReadPng(ByteSpan(png.value()), limits);
}

}  // namespace kestal
