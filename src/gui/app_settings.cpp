#include "gui/app_settings.h"

#include <QColor>
#include <QSettings>
#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <type_traits>

#include "export/export_driver.h"
#include "gui/language.h"
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

// "#rrggbb", as the water's tint colour is stored.
QString ColorName(Color c) { return QColor(RedOf(c), GreenOf(c), BlueOf(c)).name(); }

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
  s.naturalMode = ReadBool(store, "animation/natural", s.naturalMode);
  s.intervalMs = ReadChoice(store, "animation/interval", s.intervalMs,
                            {kSlowIntervalMs, kMediumIntervalMs, kFastIntervalMs});
  s.waveLength = static_cast<WaveLength>(ReadInt(store, "animation/wave", static_cast<int>(s.waveLength),
                                                 static_cast<int>(WaveLength::Short),
                                                 static_cast<int>(WaveLength::Long)));
  s.openFolder = store.value(QStringLiteral("folders/open")).toString();
  s.saveFolder = store.value(QStringLiteral("folders/save")).toString();
  for (const QString& f : store.value(QStringLiteral("recent/files")).toStringList())
    if (!f.isEmpty() && s.recentFiles.size() < kMaxRecentFiles) s.recentFiles << f;
  s.geometry = store.value(QStringLiteral("window/geometry")).toByteArray();
  s.zoom = ReadDouble(store, "window/zoom", s.zoom, kMinZoom, kMaxZoom);
  // A language the window does not speak (any more) follows the system.
  const QString language = store.value(QStringLiteral("window/language")).toString();
  if (IsUiLanguage(language)) s.language = language;
  return s;
}

void SaveWindowSettings(QSettings& store, const WindowSettings& s) {
  store.setValue(QStringLiteral("animation/frames"), s.frames);
  store.setValue(QStringLiteral("animation/height"), s.percent);
  store.setValue(QStringLiteral("animation/regular"), s.regularMode);
  store.setValue(QStringLiteral("animation/natural"), s.naturalMode);
  store.setValue(QStringLiteral("animation/interval"), s.intervalMs);
  store.setValue(QStringLiteral("animation/wave"), static_cast<int>(s.waveLength));
  store.setValue(QStringLiteral("folders/open"), s.openFolder);
  store.setValue(QStringLiteral("folders/save"), s.saveFolder);
  store.setValue(QStringLiteral("recent/files"), s.recentFiles);
  store.setValue(QStringLiteral("window/geometry"), s.geometry);
  store.setValue(QStringLiteral("window/zoom"), s.zoom);
  store.setValue(QStringLiteral("window/language"), s.language);
  store.sync();
}

ExportChoices LoadExportChoices(QSettings& store) {
  ExportChoices c;
  if (store.status() != QSettings::NoError) return c;
  // The format's upper bound is checked against the dialog's list when it is applied.
  c.format = ReadInt(store, "export/format", c.format, 0, 99);
  c.reflectionOnly = ReadBool(store, "export/reflectionOnly", c.reflectionOnly);
  c.colorIndex = ReadInt(store, "export/colors", c.colorIndex, 0, int(std::size(kGifColorCounts)) - 1);
  c.repetitions = ReadInt(store, "export/repetitions", c.repetitions, kMinRepetitions, kMaxRepetitions);
  c.scalePercent = ReadInt(store, "export/scale", c.scalePercent, kMinScalePercent, kMaxScalePercent);
  c.lossless = ReadBool(store, "export/lossless", c.lossless);
  c.bySeconds = ReadBool(store, "export/bySeconds", c.bySeconds);
  c.seconds = ReadDouble(store, "export/seconds", c.seconds, 0.1, kMaxClipSeconds);
  return c;
}

void SaveExportChoices(QSettings& store, const ExportChoices& c) {
  store.setValue(QStringLiteral("export/format"), c.format);
  store.setValue(QStringLiteral("export/reflectionOnly"), c.reflectionOnly);
  store.setValue(QStringLiteral("export/colors"), c.colorIndex);
  store.setValue(QStringLiteral("export/repetitions"), c.repetitions);
  store.setValue(QStringLiteral("export/scale"), c.scalePercent);
  store.setValue(QStringLiteral("export/lossless"), c.lossless);
  store.setValue(QStringLiteral("export/bySeconds"), c.bySeconds);
  store.setValue(QStringLiteral("export/seconds"), c.seconds);
  store.sync();
}

void SaveWaterSettings(QSettings& s, const WaterSettings& w) {
  s.beginGroup(QStringLiteral("water"));
  s.setValue(QStringLiteral("line"), w.line.value);
  s.setValue(QStringLiteral("lineInPercent"), w.line.unit == WaterLine::Unit::Percent);
  s.setValue(QStringLiteral("tintColor"), ColorName(w.tintColor));
  s.setValue(QStringLiteral("tint"), w.tintPercent);
  s.setValue(QStringLiteral("fade"), w.fadePercent);
  s.setValue(QStringLiteral("fadeSmooth"), w.fadeCurve == FadeCurve::Smooth);
  s.setValue(QStringLiteral("fadeToTint"), w.fadeTarget == FadeTarget::Tint);
  s.setValue(QStringLiteral("blur"), w.blurRadius);
  s.setValue(QStringLiteral("strength"), w.strengthPercent);
  s.endGroup();
  s.sync();
}

WaterSettings LoadWaterSettings(QSettings& s) {
  WaterSettings w;
  const WaterSettings d;
  s.beginGroup(QStringLiteral("water"));
  w.line.value = s.value(QStringLiteral("line"), d.line.value).toInt();
  w.line.unit = s.value(QStringLiteral("lineInPercent"), true).toBool() ? WaterLine::Unit::Percent
                                                                         : WaterLine::Unit::Rows;
  const QColor tint(s.value(QStringLiteral("tintColor"), ColorName(d.tintColor)).toString());
  if (tint.isValid()) w.tintColor = Rgb(uint8_t(tint.red()), uint8_t(tint.green()), uint8_t(tint.blue()));
  w.tintPercent = s.value(QStringLiteral("tint"), d.tintPercent).toInt();
  w.fadePercent = s.value(QStringLiteral("fade"), d.fadePercent).toInt();
  w.fadeCurve = s.value(QStringLiteral("fadeSmooth"), false).toBool() ? FadeCurve::Smooth : FadeCurve::Linear;
  w.fadeTarget = s.value(QStringLiteral("fadeToTint"), false).toBool() ? FadeTarget::Tint : FadeTarget::Black;
  w.blurRadius = s.value(QStringLiteral("blur"), d.blurRadius).toInt();
  w.strengthPercent = s.value(QStringLiteral("strength"), d.strengthPercent).toInt();
  s.endGroup();
  // A stored file edited by hand must not put the water out of its ranges.
  return CheckWaterSettings(w) ? w : d;
}

// Each under "natural/" and its option's name, within its row's range.
NaturalWaterSettings LoadNaturalWater(QSettings& store) {
  NaturalWaterSettings n;
  if (store.status() != QSettings::NoError) return n;
  for (const NaturalSettingInfo& row : kNaturalSettingTable) {
    const QByteArray key = QByteArray("natural/") + row.option;
    const int value = row.setting == NaturalSetting::Glints
                          ? ReadBool(store, key.constData(), row.defaultValue != 0)
                          : ReadInt(store, key.constData(), row.defaultValue, row.min, row.max);
    SetNaturalValue(n, row.setting, value);
  }
  return n;
}

void SaveNaturalWater(QSettings& store, const NaturalWaterSettings& n) {
  for (const NaturalSettingInfo& row : kNaturalSettingTable) {
    const QString key = QStringLiteral("natural/") + QLatin1String(row.option);
    if (row.setting == NaturalSetting::Glints) store.setValue(key, n.glints);
    else store.setValue(key, NaturalValue(n, row.setting));
  }
  store.sync();
}

AppSettings LoadAppSettings(QSettings& store) {
  return AppSettings{LoadWindowSettings(store), LoadExportChoices(store), LoadWaterSettings(store),
                     LoadNaturalWater(store)};
}

void SaveAppSettings(QSettings& store, const AppSettings& s) {
  SaveWindowSettings(store, s.window);
  SaveExportChoices(store, s.exportChoices);
  SaveWaterSettings(store, s.water);
  SaveNaturalWater(store, s.natural);
}

QStringList WithRecentFile(QStringList list, const QString& path) {
  list.removeAll(path);
  list.prepend(path);
  while (list.size() > kMaxRecentFiles) list.removeLast();
  return list;
}

}  // namespace kestal
