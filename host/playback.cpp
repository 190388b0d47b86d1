#include "host/playback.h"

#include <algorithm>

namespace refhost {

void Playback::SetRate(int32_t rate) {
  host_.SetObjectValue(object_, "rate", Value::Integer(rate));
}

int32_t Playback::Rate() const {
  const Value* rate = host_.ObjectValue(object_, "rate");
  return rate == nullptr ? 0 : rate->AsInteger();
}

int Playback::Seek(int32_t position) {
  return host_.SetPosition(object_, position);
}

std::vector<int32_t> Playback::Play(uint32_t milliseconds, uint32_t stepMilliseconds) {
  std::vector<int32_t> notified;
  if (stepMilliseconds == 0 || !host_.Exists(object_)) return notified;
  // Positions are taken from the start of the run, so uneven steps never drift.
  const int64_t start = Position();
  const int64_t rate = Rate();
  for (uint32_t elapsed = 0; elapsed < milliseconds;) {
    const uint32_t step = std::min(stepMilliseconds, milliseconds - elapsed);
    host_.Advance(step);
    elapsed += step;
    const int64_t at = start + rate * elapsed / 1000;
    const auto position = static_cast<int32_t>(std::clamp<int64_t>(at, INT32_MIN, INT32_MAX));
    host_.SetPosition(object_, position);
    notified.push_back(position);
  }
  return notified;
}

}  // namespace refhost
