#include "export/codec_levels.h"

#include <cmath>

namespace kestal {
namespace {

// ITU-T H.264 Table A-1, without level 1b (a 1.1 variant for low bit rates).
constexpr H264Level kH264Levels[] = {
    {10, 1'485, 99, 396},           {11, 3'000, 396, 900},          {12, 6'000, 396, 2'376},
    {13, 11'880, 396, 2'376},       {20, 11'880, 396, 2'376},       {21, 19'800, 792, 4'752},
    {22, 20'250, 1'620, 8'100},     {30, 40'500, 1'620, 8'100},     {31, 108'000, 3'600, 18'000},
    {32, 216'000, 5'120, 20'480},   {40, 245'760, 8'192, 32'768},   {41, 245'760, 8'192, 32'768},
    {42, 522'240, 8'704, 34'816},   {50, 589'824, 22'080, 110'400}, {51, 983'040, 36'864, 184'320},
    {52, 2'073'600, 36'864, 184'320}, {60, 4'177'920, 139'264, 696'320}, {61, 8'355'840, 139'264, 696'320},
    {62, 16'711'680, 139'264, 696'320},
};

int64_t Macroblocks(int32_t pixels) { return (static_cast<int64_t>(pixels) + 15) / 16; }

// A.3.1: neither side may exceed √(8 × MaxFS) macroblocks.
int64_t MaxSideMbs(const H264Level& level) {
  return static_cast<int64_t>(std::sqrt(8.0 * static_cast<double>(level.maxFrameMbs)));
}

bool Holds(const H264Level& level, int64_t wide, int64_t high, int fps) {
  const int64_t frame = wide * high;
  return frame <= level.maxFrameMbs && wide <= MaxSideMbs(level) && high <= MaxSideMbs(level) &&
         frame * fps <= level.maxMbPerSecond && frame * kH264DpbFrames <= level.maxDpbMbs;
}

std::string SizeText(int32_t width, int32_t height) {
  return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

}  // namespace

std::span<const H264Level> H264Levels() { return kH264Levels; }

std::string LevelName(int idc) { return std::to_string(idc / 10) + "." + std::to_string(idc % 10); }

Result<int> H264LevelFor(int32_t width, int32_t height, int fps) {
  const int64_t wide = Macroblocks(width), high = Macroblocks(height);
  for (const H264Level& level : kH264Levels) {
    if (Holds(level, wide, high, fps)) return level.idc;
  }
  const H264Level& top = kH264Levels[std::size(kH264Levels) - 1];
  return Error::OverLimit("the exported picture would be " + SizeText(width, height) + "; H.264's highest level, " +
                          LevelName(top.idc) + ", holds at most " + std::to_string(top.maxFrameMbs * 256) +
                          " pixels a frame and " + std::to_string(MaxSideMbs(top) * 16) + " a side");
}

Status CheckClipPicture(ExportFormat format, int32_t width, int32_t height, int fps) {
  if (format != ExportFormat::Mp4 && format != ExportFormat::WebM) return Status::Ok();
  width += width & 1;
  height += height & 1;
  if (format == ExportFormat::Mp4) {
    auto level = H264LevelFor(width, height, fps);
    if (!level) return level.error();
    return Status::Ok();
  }
  if (format == ExportFormat::WebM &&
      (width > kVp9MaxSide || height > kVp9MaxSide ||
       static_cast<int64_t>(width) * height > kVp9MaxPictureSize)) {
    return Error::OverLimit("the exported picture would be " + SizeText(width, height) +
                            "; VP9's highest level, 6.2, holds at most " + std::to_string(kVp9MaxPictureSize) +
                            " pixels a frame and " + std::to_string(kVp9MaxSide) + " a side");
  }
  return Status::Ok();
}

}  // namespace kestal
