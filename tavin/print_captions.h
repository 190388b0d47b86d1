// Print's caption entries: the host list of CaptionEntry items behind "textfont", "textsize",
// "textstyle", "textstring" and "textposition", and the rules by which Print's attribute reads
// fill an output value.
#pragma once

#include <cstdint>

#include "support/abi.h"
#include "support/record_bytes.h"
#include "support/values.h"

namespace tavin {

inline bool IsText(uint16_t valueTag) {
  return valueTag == tag::kText || valueTag == tag::kTextSecond;
}

enum class CaptionAttribute { kFont, kSize, kStyle, kText, kPosition };

// Whether a 16-byte attribute name is one of the caption attributes, and which.
bool FindCaptionAttribute(const char* name16, CaptionAttribute* which);

// A caption read or write at the entry the index names (an integer, counting from 1). A write
// first makes sure the list reaches that entry, appending one default entry when it is short.
abi::Result ReadCaption(void* instance, CaptionAttribute which, const void* index, void* output);
abi::Result WriteCaption(void* instance, CaptionAttribute which, const void* index,
                         const void* value);

// Frees every entry's texts and disposes of the instance's list.
void DisposeCaptions(void* instance);
// Gives `target` a new list holding a copy of each of `source`'s entries, texts duplicated and
// owned by `target`. The target's old list must be gone.
void CopyCaptions(void* target, const void* source);

// Reads into an output value. A text: a fresh buffer handed over (owner -1) for an unassigned
// output or a text without a buffer, a bounded copy for a text with one; 1 for any other kind.
abi::Result ReadTextInto(const TextValue& text, void* output);
// A number into the output's body, as wide as the body of `ownKind` (tag::kInteger: 32 bits,
// tag::kFlag: 16), and all 32 bits into an integer output whatever the kind; an output too
// short for that (empty, unassigned) becomes a value of `ownKind`. The tag of an output with
// room stays as the caller set it.
void ReadNumberInto(int32_t number, uint16_t ownKind, void* output);

}  // namespace tavin
