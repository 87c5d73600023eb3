// The byte writer lays fields down in order and byte order; the headers of the BMP,
// Targa and AVI writers are checked byte for byte by their own tests.

#include <gtest/gtest.h>

#include <vector>

#include "base/bytes.h"
#include "base/result.h"

namespace kestal {
namespace {

TEST(ByteWriter, WritesEachWidthInItsByteOrderAndPatchesInPlace) {
  std::vector<uint8_t> out;
  ByteWriter w(out);
  w.Put8(0x01);
  w.Put16LE(0x0302);
  w.Put32LE(0x07060504);
  w.Put64LE(0x0F0E0D0C0B0A0908);
  w.Put16BE(0x1011);
  w.Put32BE(0x12131415);
  w.PutFourCC("RIFF");
  w.PutZeros(2);
  w.Patch32LE(3, 0xAABBCCDD);
  const std::vector<uint8_t> want = {0x01, 0x02, 0x03, 0xDD, 0xCC, 0xBB, 0xAA, 0x08, 0x09, 0x0A, 0x0B,
                                     0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 'R',
                                     'I',  'F',  'F',  0,    0};
  EXPECT_EQ(out, want);
  EXPECT_EQ(w.Size(), want.size());
}

TEST(ErrorKinds, NamingTheFileKeepsTheKindAndTheCause) {
  const Error named = Error::Truncated().WithMessage("Unable to load \"a.bmp\"");
  EXPECT_EQ(named.kind, ErrorKind::Truncated);
  EXPECT_EQ(named.Line(), "Unable to load \"a.bmp\": the file is truncated");
}

}  // namespace
}  // namespace kestal
