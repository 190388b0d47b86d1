// Playing a time-based object: its play position moves at its "rate" attribute as the host's
// clock advances, and every instance that asked for position notifications on it hears each
// new position. Rates count position units per second; a negative rate plays backward.
#pragma once

#include <cstdint>
#include <vector>

#include "host/host.h"

namespace refhost {

class Playback {
 public:
  Playback(Host& host, uint32_t object) : host_(host), object_(object) {}

  // Writes the object's "rate" attribute, where the plug-ins read it.
  void SetRate(int32_t rate);
  int32_t Rate() const;  // the attribute's integer, 0 when there is none
  int32_t Position() const { return host_.PositionOf(object_); }

  // A jump: the position changes at once and one notification goes out. Returns how many
  // instances heard it.
  int Seek(int32_t position);

  // Plays for `milliseconds` of host time: the clock advances in steps of `stepMilliseconds`
  // (periodic calls fall due as usual) and after each step the position moves by the rate and
  // is notified. Returns the positions notified, in order.
  std::vector<int32_t> Play(uint32_t milliseconds, uint32_t stepMilliseconds = 100);

 private:
  Host& host_;
  uint32_t object_;
};

}  // namespace refhost
