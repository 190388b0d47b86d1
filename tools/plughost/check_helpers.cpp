// What the robustness checks share: an instance an author has edited, the test that an
// instance still works after what was done to it, and the account of what each step left.
#include <string>

#include "host/host_method.h"
#include "host/value.h"
#include "tools/plughost/check_context.h"

namespace plughost::checks {

void GiveBackOutput(refhost::Host& host, const uint8_t* out, const char* ours) {
  // A whole list handed over by a list read: the receiver disposes of its host list.
  constexpr uint16_t kListTransferTag = 13013;
  uint16_t t;
  std::memcpy(&t, out, sizeof t);
  if (t == tag::kText || t == tag::kTextSecond) {
    TextValue v;
    std::memcpy(&v, out, sizeof v);
    if (v.chars != nullptr && v.chars != ours)
      refhost::CallHostMethod(host.ServiceObject(abi::service::kString), 1,
                              abi::method::kFreeString, v.chars);
  } else if (t == kListTransferTag) {
    uint32_t handle;
    std::memcpy(&handle, out + 8, sizeof handle);
    refhost::CallHostMethod(host.ServiceObject(abi::service::kList), 1, abi::method::kDisposeList,
                            handle);
  }
}

Instance* ClassChecks::MakeEdited() {
  Instance* instance = Make();
  if (instance == nullptr || !Has(abi::slot::kToEditor) || !Has(abi::slot::kFromEditor))
    return instance;
  refhost::HostEditor& editor = host_.NewEditor();
  if (instance->ToEditor(editor, 0) != 0) return instance;
  for (int16_t item : EditorItems(editor)) {
    const refhost::Value& shown = *editor.Item(item);
    switch (shown.tag) {
      case tag::kInteger:
        editor.SetItem(item, refhost::Value::Integer(shown.AsInteger() + 1));
        break;
      case tag::kFlag: {
        uint16_t flag = 0;
        std::memcpy(&flag, shown.raw.data() + 2, sizeof flag);
        editor.SetItem(item, refhost::Value::Flag(flag == 0));
        break;
      }
      case tag::kMessageId: {
        MessageIdValue id;
        std::memcpy(&id, shown.raw.data(), sizeof id);
        editor.SetItem(
            item, refhost::Value::MessageId(id.id + 7000 + static_cast<uint16_t>(item), id.second));
        break;
      }
      case tag::kReal: {
        double real = 0;
        std::memcpy(&real, shown.raw.data() + 2, sizeof real);
        editor.SetItem(item, refhost::Value::Real(real + 0.5));
        break;
      }
      case tag::kText:
      case tag::kTextSecond:
        editor.SetItem(item, refhost::Value::Text("validate " + std::to_string(item)));
        break;
      default:
        break;  // a kind whose other values the checks cannot guess
    }
  }
  instance->FromEditor(editor);
  return instance;
}

std::string ClassChecks::Usable(Instance* instance) {
  if (instance->TimedOut()) return "it was fenced off after a call that did not return";
  if (Has(abi::slot::kSave)) {
    refhost::HostStream* saved = nullptr;
    int16_t version = 0;
    if (std::string why = SaveInto(instance, &saved, &version); !why.empty()) return "then " + why;
  }
  if (Has(abi::slot::kToEditor)) {
    refhost::HostEditor& editor = host_.NewEditor();
    const uint16_t status = instance->ToEditor(editor, 0);
    if (status > 1) return "then ToEditor answered " + Number(status);
  }
  if (Has(abi::slot::kCopyConstruct) && host_.CopyConstruct(*instance, owner_, owner_) == nullptr)
    return "then the host could not copy it";
  if (Has(abi::slot::kVisitMessageIds)) {
    const uint16_t status = instance->VisitMessageIds(kVisitA, kVisitB);
    if (status > 1) return "then VisitMessageIds answered " + Number(status);
  }
  return "";
}

std::string ClassChecks::Clean(const std::string& during) {
  host_.DestroyAll();
  const auto& faults = host_.Ownership().Faults();
  const std::vector<refhost::Allocation> leaks = host_.Ownership().Leaks();
  const auto& timedOut = host_.TimedOutCalls();
  std::string why;
  if (timedOut.size() > timedOutSeen_) {
    why = timedOut[timedOutSeen_].ToString();
  } else if (faults.size() > faultsSeen_) {
    why = "ownership fault: " + faults[faultsSeen_].ToString();
  } else if (leaks.size() > leaksSeen_) {
    why = "once destroyed, its instances left " + Number(leaks.size() - leaksSeen_) +
          " allocation(s), the first: " + leaks[leaksSeen_].ToString();
  } else if (!host_.StopReason().empty()) {
    why = host_.StopReason();
  }
  faultsSeen_ = faults.size();
  leaksSeen_ = leaks.size();
  timedOutSeen_ = timedOut.size();
  return why.empty() ? "" : during + ": " + why;
}

}  // namespace plughost::checks
