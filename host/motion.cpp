#include "host/motion.h"

#include <algorithm>
#include <cstring>

namespace refhost {

PointValue Motion::Position() const {
  PointValue point{tag::kPoint, 0, 0};
  const Value* value = host_.ObjectValue(object_, "position");
  if (value != nullptr && value->tag == tag::kPoint && value->raw.size() == sizeof point) {
    std::memcpy(&point, value->raw.data(), sizeof point);
  }
  return point;
}

void Motion::Place(int16_t x, int16_t y) {
  host_.SetObjectValue(object_, "position", Value::Point(x, y));
}

std::vector<PointValue> Motion::MoveTo(int16_t x, int16_t y, uint32_t milliseconds,
                                       uint32_t stepMilliseconds) {
  std::vector<PointValue> places;
  if (stepMilliseconds == 0 || !host_.Exists(object_)) return places;
  const PointValue start = Position();
  // Each place is taken from the start of the move, so uneven steps never drift.
  auto along = [milliseconds](int16_t from, int16_t to, uint32_t elapsed) {
    if (milliseconds == 0) return to;
    const int64_t span = int64_t{to} - from;
    return static_cast<int16_t>(from + span * elapsed / milliseconds);
  };
  uint32_t elapsed = 0;
  do {
    const uint32_t step = std::min(stepMilliseconds, milliseconds - elapsed);
    host_.Advance(step);
    elapsed += step;
    const PointValue place{tag::kPoint, along(start.x, x, elapsed), along(start.y, y, elapsed)};
    Place(place.x, place.y);
    places.push_back(place);
  } while (elapsed < milliseconds);
  return places;
}

}  // namespace refhost
