#include "gui/app_settings.h"

#include <QSettings>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <type_traits>

#include "export/export_driver.h"
#include "gui/view_zoom.h"
#include "render/animation_model.h"

namespace kestal {
namespace {

// A number within [min, max], else the fallback (also for text that is not a number).
template <class T>
T ReadNumber(const QSettings& store, const char* key, T fallback, T min, T max) {
  bool ok = false;
  const QVariant stored = store.value(QLatin1String(key));
  T value;
  if constexpr (std::is_same_v<T, int>) value = stored.toInt(&ok);
  else value = stored.toDouble(&ok);
  return ok && value >= min && value <= max ? value : fallback;
}

int ReadInt(const QSettings& store, const char* key, int fallback, int min, int max) {
  return ReadNumber(store, key, fallback, min, max);
}

double ReadDouble(const QSettings& store, const char* key, double fallback, double min, double max) {
  return ReadNumber(store, key, fallback, min, max);
}

int ReadChoice(const QSettings& store, const char* key, int fallback, std::initializer_list<int> allowed) {
  bool ok = false;
  const int value = store.value(QLatin1String(key)).toInt(&ok);
  return ok && std::find(allowed.begin(), allowed.end(), value) != allowed.end() ? value : fallback;
}

bool ReadBool(const QSettings& store, const char* key, bool fallback) {
  const QVariant v = store.value(QLatin1String(key));
  const QString text = v.toString();
  if (text == QLatin1String("true")) return true;
  if (text == QLatin1String("false")) return false;
  return fallback;
}

}  // namespace

WindowSettings LoadWindowSettings(QSettings& store) {
  WindowSettings s;
  if (store.status() != QSettings::NoError) return s;
  s.frames = ReadInt(store, "animation/frames", s.frames, kMinFrameCount, kMaxFrameCount);
  s.percent = ReadInt(store, "animation/height", s.percent, kMinPercent, kMaxPercent);
  s.regularMode = ReadBool(store, "animation/regular", s.regularMode);
  s.intervalMs = ReadChoice(store, "animation/interval", s.intervalMs,
                            {kSlowIntervalMs, kMediumIntervalMs, kFastIntervalMs});
  s.waveLength = static_cast<WaveLength>(ReadInt(store, "animation/wave", static_cast<int>(s.waveLength),
                                                 static_cast<int>(WaveLength::Short),
                                                 static_cast<int>(WaveLength::Long)));
  // The format's upper bound is checked against the dialog's list when it is applied.
  s.exportFormat = ReadInt(store, "export/format", s.exportFormat, 0, 99);
  s.reflectionOnly = ReadBool(store, "export/reflectionOnly", s.reflectionOnly);
  s.colorIndex = ReadInt(store, "export/colors", s.colorIndex, 0, int(std::size(kGifColorCounts)) - 1);
  s.repetitions = ReadInt(store, "export/repetitions", s.repetitions, kMinRepetitions, kMaxRepetitions);
  s.scalePercent = ReadInt(store, "export/scale", s.scalePercent, kMinScalePercent, kMaxScalePercent);
  s.lossless = ReadBool(store, "export/lossless", s.lossless);
  s.bySeconds = ReadBool(store, "export/bySeconds", s.bySeconds);
  s.seconds = ReadDouble(store, "export/seconds", s.seconds, 0.1, kMaxClipSeconds);
  s.openFolder = store.value(QStringLiteral("folders/open")).toString();
  s.saveFolder = store.value(QStringLiteral("folders/save")).toString();
  for (const QString& f : store.value(QStringLiteral("recent/files")).toStringList())
    if (!f.isEmpty() && s.recentFiles.size() < kMaxRecentFiles) s.recentFiles << f;
  s.geometry = store.value(QStringLiteral("window/geometry")).toByteArray();
  s.zoom = ReadDouble(store, "window/zoom", s.zoom, kMinZoom, kMaxZoom);
  return s;
}

void SaveWindowSettings(QSettings& store, const WindowSettings& s) {
  store.setValue(QStringLiteral("animation/frames"), s.frames);
  store.setValue(QStringLiteral("animation/height"), s.percent);
  store.setValue(QStringLiteral("animation/regular"), s.regularMode);
  store.setValue(QStringLiteral("animation/interval"), s.intervalMs);
  store.setValue(QStringLiteral("animation/wave"), static_cast<int>(s.waveLength));
  store.setValue(QStringLiteral("export/format"), s.exportFormat);
  store.setValue(QStringLiteral("export/reflectionOnly"), s.reflectionOnly);
  store.setValue(QStringLiteral("export/colors"), s.colorIndex);
  store.setValue(QStringLiteral("export/repetitions"), s.repetitions);
  store.setValue(QStringLiteral("export/scale"), s.scalePercent);
  store.setValue(QStringLiteral("export/lossless"), s.lossless);
  store.setValue(QStringLiteral("export/bySeconds"), s.bySeconds);
  store.setValue(QStringLiteral("export/seconds"), s.seconds);
  store.setValue(QStringLiteral("folders/open"), s.openFolder);
  store.setValue(QStringLiteral("folders/save"), s.saveFolder);
  store.setValue(QStringLiteral("recent/files"), s.recentFiles);
  store.setValue(QStringLiteral("window/geometry"), s.geometry);
  store.setValue(QStringLiteral("window/zoom"), s.zoom);
  store.sync();
}

QStringList WithRecentFile(QStringList list, const QString& path) {
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kMaxRecentFiles) list.removeLast();
  return list;
}

}  // namespace kestal
