#include "gui/mirror_builder.h"

#include <utility>

#include "render/animation_model.h"

namespace kestal {

MirrorBuilder::MirrorBuilder(QObject* parent, Done done) : QObject(parent), done_(std::move(done)) {}

MirrorBuilder::~MirrorBuilder() {
  if (build_.valid()) build_.wait();
}

void MirrorBuilder::Start(const Bitmap24& photo, int percent, const WaterSettings& water) {
  wanted_ = Request{&photo, percent, water, ++next_id_};
  if (!running_) Launch();
}

void MirrorBuilder::Launch() {
  running_ = wanted_;
  const Request request = *running_;
  build_ = std::async(std::launch::async, [this, request] {
    Result<Bitmap24> mirror = BuildWaterMirror(*request.photo, request.percent, request.water);
    // Posted to this object's thread; dropped with the object if it is gone by then.
    QMetaObject::invokeMethod(this, [this, id = request.id] { Landed(id); }, Qt::QueuedConnection);
    return mirror;
  });
}

void MirrorBuilder::Landed(uint64_t id) {
  // A build that Finish or Drop has already taken.
  if (!running_ || running_->id != id) return;
  Result<Bitmap24> mirror = build_.get();
  const Request ran = *running_;
  running_.reset();
  if (!wanted_) return;
  if (wanted_->id != ran.id) {  // the settings changed while it ran
    Launch();
    return;
  }
  wanted_.reset();
  done_(ran.water, ran.percent, std::move(mirror));
}

void MirrorBuilder::Finish() {
  if (!wanted_) return;
  const Request request = *wanted_;
  wanted_.reset();
  std::optional<Result<Bitmap24>> mirror;
  if (running_) {
    if (running_->id == request.id) mirror.emplace(build_.get());
    else build_.wait();
    running_.reset();
  }
  if (!mirror) mirror.emplace(BuildWaterMirror(*request.photo, request.percent, request.water));
  done_(request.water, request.percent, std::move(*mirror));
}

void MirrorBuilder::Drop() {
  wanted_.reset();
  if (running_) build_.wait();
  running_.reset();
}

}  // namespace kestal
