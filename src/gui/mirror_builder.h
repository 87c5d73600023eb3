#pragma once
// Builds the water's full-size mirror on a thread of its own while the window shows a
// quick preview. On a large photo a blur takes seconds; the user may change the water
// again meanwhile, so only the newest settings' mirror is delivered: a build for older
// settings finishes unseen and the newest one starts then. One build runs at a time,
// so a burst of changes costs at most two builds.

#include <QObject>
#include <functional>
#include <future>
#include <optional>

#include "bitmap/bitmap24.h"
#include "render/water_effects.h"

namespace kestal {

class MirrorBuilder : public QObject {
  Q_OBJECT

 public:
  // Called on the builder's (the GUI) thread with the settings and reflection percent
  // the mirror was built for.
  using Done = std::function<void(const WaterSettings& water, int percent, Result<Bitmap24> mirror)>;

  MirrorBuilder(QObject* parent, Done done);
  // Waits for a running build: it reads the photo.
  ~MirrorBuilder() override;

  // Builds BuildWaterMirror(photo, percent, water). `photo` must stay unchanged until
  // the mirror is delivered or Drop returns.
  void Start(const Bitmap24& photo, int percent, const WaterSettings& water);
  // The settings whose mirror is wanted and not delivered yet.
  const WaterSettings* Wanted() const { return wanted_ ? &wanted_->water : nullptr; }
  // Delivers the wanted mirror now, waiting for it or building it on this thread (an
  // export or the end of the program needs the model up to date).
  void Finish();
  // Forgets the wanted mirror; a running build finishes unseen.
  void Cancel() { wanted_.reset(); }
  // Forgets the wanted mirror and waits for a running build (before the photo changes).
  void Drop();

 private:
  struct Request {
    const Bitmap24* photo;
    int percent;
    WaterSettings water;
    uint64_t id;
  };
  void Launch();
  void Landed(uint64_t id);

  Done done_;
  std::optional<Request> wanted_;   // the newest request, until delivered
  std::optional<Request> running_;  // the request being built
  std::future<Result<Bitmap24>> build_;
  uint64_t next_id_ = 0;
};

}  // namespace kestal
