#include "export/clip_encoder.h"

#include <dlfcn.h>

#include <filesystem>

namespace kestal {
namespace {

constexpr const char* kModuleName = "kestal-encoders.so";

struct LoadedModule {
  const EncoderModule* module = nullptr;
  Error error;
};

// dlerror's text without the module's path in front, which the message gives already:
// what is left names the missing library or the cause.
std::string LoaderText(const std::string& path) {
  const char* text = ::dlerror();
  std::string cause = text ? text : "unknown error";
  if (cause.rfind(path + ": ", 0) == 0) cause.erase(0, path.size() + 2);
  return cause;
}

LoadedModule Load() {
  const std::string path = EncoderModulePath();
  const auto failed = [&](const std::string& cause) {
    return LoadedModule{nullptr, Error::Unsupported("cannot load the clip encoders (" + path + "): " + cause)};
  };
  // Never closed: the encoders' code stays mapped until the process ends.
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) return failed(LoaderText(path));
  using Entry = const EncoderModule* (*)();
  auto entry = reinterpret_cast<Entry>(::dlsym(handle, kEncoderModuleEntry));
  if (!entry) return failed(LoaderText(path));
  const EncoderModule* module = entry();
  if (!module || !module->open || std::string(module->version) != KESTAL_VERSION) {
    return failed(std::string("it belongs to version ") + (module ? module->version : "?") + ", not to " +
                  KESTAL_VERSION);
  }
  return LoadedModule{module, Error()};
}

}  // namespace

std::string EncoderModulePath() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  const std::filesystem::path folder = ec ? std::filesystem::path(".") : exe.parent_path();
  return (folder / KESTAL_ENCODERS_RELATIVE / kModuleName).lexically_normal().string();
}

Result<std::unique_ptr<ClipEncoder>> OpenClipEncoder(const EncoderSettings& settings) {
  static const LoadedModule loaded = Load();
  if (!loaded.module) return loaded.error;
  return loaded.module->open(settings);
}

}  // namespace kestal
