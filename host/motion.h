// Moving an object across its scene: its "position" attribute, a point, goes in a straight
// line to a new place as the host's clock advances. Periodic calls fall due on the way, so an
// instance that follows the object's place sees it move.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host.h"

namespace refhost {

class Motion {
 public:
  Motion(Host& host, uint32_t object) : host_(host), object_(object) {}

  // The object's "position" as a point; (0, 0) when it has none of that kind.
  PointValue Position() const;
  // Puts the object at (x, y) at once, as its "position" attribute.
  void Place(int16_t x, int16_t y);

  // Moves to (x, y) over `milliseconds` of host time: the clock advances in steps of
  // `stepMilliseconds` and after each step the object is where the line puts it at that time
  // (rounded toward its start). Returns the places it took, in order; none for an unknown
  // object or a step of 0.
  std::vector<PointValue> MoveTo(int16_t x, int16_t y, uint32_t milliseconds,
                                 uint32_t stepMilliseconds = 100);

 private:
  Host& host_;
  uint32_t object_;
};

}  // namespace refhost
