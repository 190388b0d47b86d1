// Editor checks beyond the plain round trip: every mode, every item number, and editors whose
// items are missing or of the wrong kind.
#include <string>
#include <vector>

#include "host/value.h"
#include "tools/plughost/check_context.h"

namespace plughost::checks {

std::string ClassChecks::EveryOtherModeAlike() {
  NEEDS(kToEditor, "ToEditor");
  MAKE(instance);
  refhost::HostEditor& first = host_.NewEditor();
  if (instance->ToEditor(first, 1) != 1) return "skip: it does not check the mode";
  for (int mode : {2, 3, -1, 0x100, INT16_MAX, INT16_MIN}) {
    refhost::HostEditor& editor = host_.NewEditor();
    const uint16_t status = instance->ToEditor(editor, static_cast<int16_t>(mode));
    if (status != 1)
      return "it refuses mode 1 but mode " + std::to_string(mode) + " answered " + Number(status);
    if (editor.PutCount() != 0)
      return "mode " + std::to_string(mode) + " was refused but " + Number(editor.PutCount()) +
             " item(s) were put";
  }
  return "";
}

std::string ClassChecks::EveryItemNumberSurvives() {
  if (!Has(abi::slot::kEditorItemChanged) && !Has(abi::slot::kValidateEditorItem))
    return "skip: no EditorItemChanged or ValidateEditorItem slot";
  Instance* instance = MakeEdited();
  if (instance == nullptr) return "the host could not create an instance";
  refhost::HostEditor& editor = host_.NewEditor();
  if (Has(abi::slot::kToEditor)) instance->ToEditor(editor, 0);
  std::vector<int16_t> items;
  if (strictness_ >= 10) {
    for (int item = INT16_MIN; item <= INT16_MAX; ++item)
      items.push_back(static_cast<int16_t>(item));
  } else {
    for (int item = -64; item < 256; ++item) items.push_back(static_cast<int16_t>(item));
    for (size_t n = Budget(SIZE_MAX, 64); n > 0; --n) items.push_back(static_cast<int16_t>(Next()));
    items.push_back(INT16_MIN);
    items.push_back(INT16_MAX);
  }
  for (size_t at = 0; at < items.size(); ++at) {
    const int16_t item = items[at];
    if (at % 1024 == 0) {
      const size_t last = std::min(items.size(), at + 1024) - 1;
      Progress("at item numbers " + std::to_string(item) + " to " + std::to_string(items[last]));
    }
    if (Has(abi::slot::kEditorItemChanged)) {
      const uint16_t status = instance->EditorItemChanged(editor, item);
      if (status > 1)
        return "EditorItemChanged of item " + std::to_string(item) + " answered " + Number(status);
    }
    if (Has(abi::slot::kValidateEditorItem)) {
      uint8_t ok = 7;
      char message[1024] = {};
      const uint16_t status = instance->ValidateEditorItem(editor, item, &ok, message);
      if (status > 1)
        return "ValidateEditorItem of item " + std::to_string(item) + " answered " + Number(status);
      if (message[sizeof message - 1] != 0)
        return "ValidateEditorItem of item " + std::to_string(item) +
               ": the message fills the whole buffer";
    }
    if (instance->TimedOut()) break;
  }
  if (std::string why = Usable(instance); !why.empty()) return "after every item number: " + why;
  return Clean("every item number");
}

std::string ClassChecks::FromEditorOfStrangeItems() {
  NEEDS(kFromEditor, "FromEditor");
  {
    Instance* instance = MakeEdited();
    if (instance == nullptr) return "the host could not create an instance";
    refhost::HostEditor& empty = host_.NewEditor();
    instance->FromEditor(empty);
    if (std::string why = Usable(instance); !why.empty()) return "after an empty editor: " + why;
    if (std::string why = Clean("FromEditor of an empty editor"); !why.empty()) return why;
  }
  std::vector<int16_t> items;
  {
    MAKE(shown);
    refhost::HostEditor& editor = host_.NewEditor();
    if (Has(abi::slot::kToEditor)) shown->ToEditor(editor, 0);
    items = EditorItems(editor);
    host_.Destroy(shown);
  }
  if (items.empty()) {
    for (int16_t item = 0; item < 32; ++item) items.push_back(item);
  }
  const std::pair<const char*, refhost::Value> kinds[] = {
      {"integers", refhost::Value::Integer(-7)},
      {"reals", refhost::Value::Real(1e300)},
      {"flags", refhost::Value::Flag(true)},
      {"message ids", refhost::Value::MessageId(0xFFFFFFFF, 0xFFFFFFFF)},
      {"empty texts", refhost::Value::Text("")},
      {"long texts", refhost::Value::Text(std::string(40000, 'w'))},
      {"references", refhost::Value::Reference(owner_)},
      {"points", refhost::Value::Point(-1, -1)},
      {"durations", refhost::Value::Duration(1, 0, 0)},
      {"empty values", refhost::Value()},
  };
  for (const auto& [name, value] : kinds) {
    Instance* instance = MakeEdited();
    if (instance == nullptr) return "the host could not create an instance";
    refhost::HostEditor& editor = host_.NewEditor();
    for (int16_t item : items) editor.SetItem(item, value);
    Progress(std::string("at FromEditor of items that are all ") + name);
    instance->FromEditor(editor);
    if (std::string why = Usable(instance); !why.empty())
      return std::string("after FromEditor of items that are all ") + name + ": " + why;
    if (std::string why = Clean(std::string("FromEditor of items that are all ") + name);
        !why.empty())
      return why;
  }
  return "";
}

}  // namespace plughost::checks
