// Fault injection: each operation of an instance's life (construct, copy, assign, load, save,
// editor, attributes, messages) is run once cleanly to count what it asks of the host, then
// again with the Nth allocation refused, or the Nth host call of one kind failing, for every N
// the clean run reached. Nothing may crash, leak or fault, and what is left must still work
// and go away cleanly.
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "host/class_knowledge.h"
#include "tools/plughost/check_context.h"

namespace plughost::checks {
namespace {

// The host calls that allocate: they fail through refused allocations, not as calls.
bool Allocates(const std::string& method) {
  return method == "StringService.AllocString" || method == "StringService.DuplicateString" ||
         method == "MemoryService.AllocMemory" || method == "ListService.CreateList";
}

std::string Ordinal(uint32_t n) {
  const char* suffix = (n % 100 >= 11 && n % 100 <= 13) ? "th"
                       : n % 10 == 1                    ? "st"
                       : n % 10 == 2                    ? "nd"
                       : n % 10 == 3                    ? "rd"
                                                        : "th";
  return std::to_string(n) + suffix;
}

}  // namespace

std::string ClassChecks::EveryOperationFailing(bool allocations) {
  struct Stage {
    Instance* a = nullptr;
    Instance* b = nullptr;
    refhost::HostStream* stream = nullptr;
    refhost::HostEditor* editor = nullptr;
    int16_t version = 0;
    std::set<std::pair<uint32_t, uint32_t>> ids;
  };
  struct Operation {
    const char* name;
    bool available;
    std::function<void(Stage&)> setUp, run;
  };
  Bytes form;
  int16_t formVersion = 0;
  const bool saves = Has(abi::slot::kSave) && EditedForm(&form, &formVersion);
  char text[] = "validate";
  const TextValue textValue{tag::kText, 0x0BADF00D, sizeof text, 8, text};
  const IntegerValue two{tag::kInteger, 2}, one{tag::kInteger, 1};
  const std::vector<Operation> operations = {
      {"Construct", true, [](Stage&) {}, [this](Stage& s) { s.a = Make(); }},
      {"CopyConstruct", Has(abi::slot::kCopyConstruct), [this](Stage& s) { s.a = MakeEdited(); },
       [this](Stage& s) { s.b = host_.CopyConstruct(*s.a, owner_, owner_); }},
      {"Assign", Has(abi::slot::kAssign),
       [this](Stage& s) {
         s.a = MakeEdited();
         s.b = Make();
       },
       [](Stage& s) { s.b->Assign(*s.a); }},
      {"Load", saves && Has(abi::slot::kLoad),
       [&](Stage& s) {
         s.a = Make();
         s.stream = &host_.NewStream();
         s.stream->SetBytes(form);
       },
       [&](Stage& s) { s.a->Load(*s.stream, formVersion); }},
      {"StoredSize and Save", saves, [this](Stage& s) { s.a = MakeEdited(); },
       [this](Stage& s) {
         refhost::HostStream* saved = nullptr;
         SaveInto(s.a, &saved, &s.version);
       }},
      {"ToEditor", Has(abi::slot::kToEditor),
       [this](Stage& s) {
         s.a = MakeEdited();
         s.editor = &host_.NewEditor();
       },
       [](Stage& s) { s.a->ToEditor(*s.editor, 0); }},
      {"FromEditor", Has(abi::slot::kToEditor) && Has(abi::slot::kFromEditor),
       [this](Stage& s) {
         Instance* shown = MakeEdited();
         s.editor = &host_.NewEditor();
         shown->ToEditor(*s.editor, 0);
         host_.Destroy(shown);
         s.a = Make();
       },
       [](Stage& s) { s.a->FromEditor(*s.editor); }},
      {"attribute reads and writes", Has(abi::slot::kGetAttribute) || Has(abi::slot::kSetAttribute),
       [this](Stage& s) { s.a = MakeEdited(); },
       [&](Stage& s) {
         for (std::string_view name : refhost::ContractAttributeNames()) {
           if (Has(abi::slot::kGetAttribute)) {
             const IntegerValue index{tag::kInteger, INT32_MIN + 1};
             uint8_t out[64] = {};
             const uint16_t unassigned = tag::kUnassigned;
             std::memcpy(out, &unassigned, sizeof unassigned);
             if (s.a->GetAttribute(name, &index, out) == 0) GiveBackOutput(host_, out, nullptr);
           }
           if (Has(abi::slot::kSetAttribute)) {
             s.a->SetAttribute(name, &one, &two);
             s.a->SetAttribute(name, nullptr, &textValue);
           }
         }
       }},
      {"messages", Has(abi::slot::kHandleMessage) || Has(abi::slot::kEnable),
       [this](Stage& s) {
         s.a = MakeEdited();
         s.ids = OwnIds(s.a);
       },
       [this](Stage& s) {
         if (Has(abi::slot::kEnable)) s.a->Enable();
         for (const auto& [id, second] : s.ids) s.a->HandleMessage(owner_, id, second);
         host_.Advance(100);
         host_.SetPosition(owner_, 10);
         if (Has(abi::slot::kDisable)) s.a->Disable();
       }},
  };
  for (const Operation& op : operations) {
    if (!op.available) continue;
    // The clean run: what the operation asks of the host.
    Stage clean;
    op.setUp(clean);
    const uint32_t allocationsBefore = host_.AllocationRequests();
    host_.CountCallsByMethod(true);
    op.run(clean);
    host_.CountCallsByMethod(false);
    const uint32_t allocationCount = host_.AllocationRequests() - allocationsBefore;
    std::map<std::string, uint32_t> calls = host_.CallsByMethod();
    if (std::string why = Clean(std::string(op.name) + " without failures"); !why.empty())
      return why;
    // One run per injected failure.
    std::vector<std::pair<std::string, uint32_t>> failures;
    if (allocations) {
      for (uint32_t n = 1; n <= Budget(allocationCount, 4); ++n) failures.push_back({"", n});
    } else {
      for (const auto& [method, count] : calls) {
        if (Allocates(method)) continue;
        for (uint32_t n = 1; n <= Budget(count, 2); ++n) failures.push_back({method, n});
      }
    }
    for (const auto& [method, n] : failures) {
      const std::string what = std::string(op.name) + " with the " + Ordinal(n) +
                               (method.empty() ? " allocation refused" : " " + method + " failing");
      Stage s;
      op.setUp(s);
      Progress("at " + what);
      if (method.empty()) {
        host_.FailAllocations(n - 1, 1);
      } else {
        host_.FailHostCall(method, n);
      }
      op.run(s);
      host_.StopFailingAllocations();
      host_.FailHostCall("", 0);
      for (Instance* instance : {s.a, s.b}) {
        if (instance == nullptr) continue;
        if (std::string why = Usable(instance); !why.empty()) return "after " + what + ": " + why;
      }
      if (std::string why = Clean(what); !why.empty()) return why;
    }
  }
  return "";
}

std::string ClassChecks::RefusedAllocations() {
  return EveryOperationFailing(true);
}

std::string ClassChecks::FailedHostCalls() {
  return EveryOperationFailing(false);
}

}  // namespace plughost::checks
