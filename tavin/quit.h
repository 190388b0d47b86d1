// Quit: answers two message ids as handled while enabled.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/registration.h"
#include "support/values.h"

namespace tavin {

#pragma pack(push, 1)
struct QuitRecord {
  MessageIdValue firstEvent;
  MessageIdValue secondEvent;
};
#pragma pack(pop)
static_assert(sizeof(QuitRecord) == 20);
static_assert(offsetof(QuitRecord, firstEvent) == 0);
static_assert(offsetof(QuitRecord, secondEvent) == 10);

constexpr uint32_t kQuitFirstDefault = 1802;
constexpr uint32_t kQuitSecondDefault = 1803;
constexpr int16_t kQuitFirstItem = 6;
constexpr int16_t kQuitSecondItem = 8;
constexpr int16_t kQuitDataVersion = 0;

extern const support::ClassDefinition kQuitClass;

}  // namespace tavin
