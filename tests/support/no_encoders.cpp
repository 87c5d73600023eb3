// A stand-in for a libavcodec built without encoders, loaded with LD_PRELOAD: every
// lookup of an encoder by name finds none, as on a system whose FFmpeg lacks libx264,
// libvpx or the APNG encoder. The tests run kestal-export and the window under it to
// see how a codec missing at run time is reported.

struct AVCodec;

extern "C" __attribute__((visibility("default"))) const AVCodec* avcodec_find_encoder_by_name(const char*) {
  return nullptr;
}
