#pragma once
// Splitting a Windows metafile into its records. Both kinds of metafile are a header
// followed by self-sized records: WMF records give their size in 16-bit words and a
// 16-bit function number, EMF records a 32-bit type and a byte size. This file checks
// the headers and the record sizes; playing the records is the players' job.

#include <cstdint>
#include <vector>

#include "base/byte_reader.h"
#include "base/result.h"
#include "base/bytes.h"

namespace kestal::metafile {

// One record: its function number (WMF) or type (EMF), and its parameters, the bytes
// after the size and type fields.
struct Record {
  uint32_t type = 0;
  ByteSpan params;
};

// The placeable header that precedes many WMF files (Aldus placeable metafile): the
// picture's bounding box in logical units and how many of them make an inch.
struct WmfHeader {
  bool placeable = false;
  int16_t left = 0, top = 0, right = 0, bottom = 0;
  uint16_t unitsPerInch = 0;
  uint16_t objectCount = 0;  // the size of the object table
};

// The parts of the EMF header the player uses: the bounds (device pixels, inclusive),
// the frame (hundredths of a millimetre, inclusive), and the reference device's size
// in pixels and in millimetres.
struct EmfHeader {
  int32_t boundsLeft = 0, boundsTop = 0, boundsRight = 0, boundsBottom = 0;
  int32_t frameLeft = 0, frameTop = 0, frameRight = 0, frameBottom = 0;
  uint32_t handleCount = 0;
  int32_t devicePixelsX = 0, devicePixelsY = 0, deviceMillimetresX = 0, deviceMillimetresY = 0;
};

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr uint32_t kEmfHeaderType = 1;
constexpr uint32_t kEmfSignature = 0x464D4520;  // " EMF"
constexpr uint32_t kWmfEof = 0x0000;
constexpr uint32_t kEmfEof = 14;

bool IsEmf(ByteSpan data);
bool IsWmf(ByteSpan data);

// The placeable and standard WMF headers; `recordsStart` receives the offset of the
// first record.
Result<WmfHeader> ParseWmfHeader(ByteSpan data, size_t& recordsStart);
Result<EmfHeader> ParseEmfHeader(ByteSpan data);

// The records before the end-of-file record, at most `maxRecords` of them. A record
// that runs past the end of the data, or data that ends before the end record, is an
// error: the file was cut short.
Result<std::vector<Record>> SplitWmfRecords(ByteSpan data, size_t recordsStart, size_t maxRecords);
Result<std::vector<Record>> SplitEmfRecords(ByteSpan data, size_t maxRecords);

// The error with the record it arose in: "record 12 (0x0324): cause".
Error InRecord(Error error, size_t number, uint32_t type);

}  // namespace kestal::metafile
