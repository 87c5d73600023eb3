#include "imageio/codecs/metafile/records.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace kestal::metafile {
namespace {

constexpr size_t kPlaceableSize = 22;
constexpr uint16_t kWmfHeaderWords = 9;
constexpr size_t kEmfHeaderMinimum = 88;

Error TooManyRecords(size_t maxRecords) {
  return Error::OverLimit("the metafile holds more than " + std::to_string(maxRecords) + " records");
}

Error RecordPastEnd() { return Error::Truncated("a metafile record runs past the end of the file"); }
// A metafile cut short between records: what was drawn before the cut would be a
// different picture.
Error NoEndRecord() { return Error::Truncated("the metafile ends before its end record"); }

}  // namespace

bool IsEmf(ByteSpan data) {
  ByteReader in(data);
  const uint32_t type = in.U32LE();
  in.Seek(40);
  return type == kEmfHeaderType && in.U32LE() == kEmfSignature;
}

bool IsWmf(ByteSpan data) {
  ByteReader in(data);
  if (in.U32LE() == kPlaceableKey) return true;
  in.Seek(0);
  const uint16_t type = in.U16LE();
  return (type == 1 || type == 2) && in.U16LE() == kWmfHeaderWords;
}

Result<WmfHeader> ParseWmfHeader(ByteSpan data, size_t& recordsStart) {
  ByteReader in(data);
  WmfHeader h;
  if (in.U32LE() == kPlaceableKey) {
    h.placeable = true;
    in.Skip(2);  // the handle, zero in files
    h.left = in.S16LE(), h.top = in.S16LE(), h.right = in.S16LE(), h.bottom = in.S16LE();
    h.unitsPerInch = in.U16LE();
    in.Skip(6);  // reserved and checksum
    if (in.Failed()) return Error::Truncated("the metafile header is truncated");
    if (h.unitsPerInch == 0) return Error::Invalid("the metafile's placeable header gives no units per inch");
  } else {
    in.Seek(0);
  }
  // The standard header: type (1 in memory, 2 on disk), header size in words, version,
  // file size, object count, largest record, and a parameter count that is always 0.
  const uint16_t type = in.U16LE();
  const uint16_t headerWords = in.U16LE();
  if (in.Failed()) return Error::Truncated("the metafile header is truncated");
  if ((type != 1 && type != 2) || headerWords != kWmfHeaderWords) return Error::Invalid("not a Windows metafile");
  in.Skip(2 + 4);
  h.objectCount = in.U16LE();
  in.Skip(4 + 2);
  if (in.Failed()) return Error::Truncated("the metafile header is truncated");
  recordsStart = in.Position();
  static_assert(kPlaceableSize + 2 * kWmfHeaderWords == 40);
  return h;
}

Result<EmfHeader> ParseEmfHeader(ByteSpan data) {
  ByteReader in(data);
  if (in.U32LE() != kEmfHeaderType) return Error::Invalid("not an enhanced metafile");
  const uint32_t size = in.U32LE();
  EmfHeader h;
  h.boundsLeft = in.S32LE(), h.boundsTop = in.S32LE(), h.boundsRight = in.S32LE(), h.boundsBottom = in.S32LE();
  h.frameLeft = in.S32LE(), h.frameTop = in.S32LE(), h.frameRight = in.S32LE(), h.frameBottom = in.S32LE();
  const uint32_t signature = in.U32LE();
  in.Skip(4 + 4 + 4);  // version, file size, record count
  h.handleCount = in.U16LE();
  in.Skip(2 + 4 + 4 + 4);  // reserved, description length and offset, palette entries
  h.devicePixelsX = in.S32LE(), h.devicePixelsY = in.S32LE();
  h.deviceMillimetresX = in.S32LE(), h.deviceMillimetresY = in.S32LE();
  if (in.Failed()) return Error::Truncated("the metafile header is truncated");
  if (signature != kEmfSignature) return Error::Invalid("not an enhanced metafile");
  if (size < kEmfHeaderMinimum || size > data.size()) return Error::Invalid("the metafile header has a wrong size");
  return h;
}

Result<std::vector<Record>> SplitWmfRecords(ByteSpan data, size_t recordsStart, size_t maxRecords) {
  ByteReader in(data);
  in.Seek(recordsStart);
  std::vector<Record> records;
  while (in.Remaining() >= 6) {
    const uint32_t words = in.U32LE();
    const uint16_t function = in.U16LE();
    // The end record has no parameters; one whose size runs past the end still ends
    // the file.
    const bool end = function == kWmfEof;
    if (!end && (words < 3 || (words - 3) > in.Remaining() / 2)) return RecordPastEnd();
    if (records.size() == maxRecords) return TooManyRecords(maxRecords);
    const size_t bytes = words < 3 ? 0 : (words - 3) * size_t{2};
    records.push_back({function, in.Take(std::min(bytes, in.Remaining()))});
    if (end) return records;
  }
  return NoEndRecord();
}

Result<std::vector<Record>> SplitEmfRecords(ByteSpan data, size_t maxRecords) {
  ByteReader in(data);
  std::vector<Record> records;
  while (in.Remaining() >= 8) {
    const uint32_t type = in.U32LE();
    const uint32_t size = in.U32LE();
    // The end record's palette fields are not drawn: one cut short in them still ends
    // the file.
    const bool end = type == kEmfEof;
    if (!end && (size < 8 || size - 8 > in.Remaining())) return RecordPastEnd();
    if (records.size() == maxRecords) return TooManyRecords(maxRecords);
    records.push_back({type, in.Take(std::min<size_t>(size < 8 ? 0 : size - 8, in.Remaining()))});
    if (end) return records;
  }
  return NoEndRecord();
}

Error InRecord(Error error, size_t number, uint32_t type) {
  char where[48];
  std::snprintf(where, sizeof where, "record %zu (0x%04X): ", number, unsigned(type));
  error.cause = where + error.cause;
  return error;
}

}  // namespace kestal::metafile
