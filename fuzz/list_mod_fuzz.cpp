// ListMod driven by operation sequences decoded from bytes, checked against a simple model:
// two lists of integers or of texts, written, grown, cut, inserted into, deleted from, sorted,
// shuffled, drawn from, cleared, stored and loaded, copied and transferred whole. After every
// operation the answers, and after many the whole list, must be what the model says.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "host/host_method.h"

namespace {

using fuzzing::Input;
using fuzzing::Out;
using Model = std::vector<std::string>;

constexpr int kMaxOperations = 64;
constexpr int32_t kLongest = 32767;

struct List {
  refhost::Instance* instance;
  uint32_t object;
  Model model;
};

class Run {
 public:
  Run(Input& in, bool texts) : in_(in), texts_(texts) {}

  void Start() {
    host_ = fuzzing::NewHost();
    for (const char* name : {"a", "b"}) {
      const uint32_t object = host_->AddObject(0, name);
      refhost::Instance* instance = host_->Create("ListMod", object, object);
      if (instance == nullptr) __builtin_trap();
      lists_.push_back(List{instance, object, {}});
      if (texts_) ChooseTexts(instance);
    }
  }

  void Step() {
    List& list = lists_[in_.Byte() & 1];
    switch (in_.Byte() % 15) {
      case 0:
        WriteCount(list);
        break;
      case 1:
        WriteValue(list);
        break;
      case 2:
        Insert(list);
        break;
      case 3:
        ReadOrDelete(list, in_.Bool());
        break;
      case 4:
        Sort(list, in_.Bool());
        break;
      case 5:
        Expect(list.instance->SetAttribute("shuffle", nullptr, nullptr) ==
               (list.model.empty() ? 1 : 0));
        Adopt(list);
        break;
      case 6:
        Draw(list, "random");
        break;
      case 7:
        Draw(list, "randomDelete");
        break;
      case 8:
        Draw(list, "randomBegin");
        break;
      case 9:
        Expect(list.instance->SetAttribute("ResetBR", nullptr, nullptr) == 0);
        break;
      case 10: {
        const bool clear = in_.Bool();
        const uint32_t id = clear ? 102 : 103 + in_.Byte();
        Expect(list.instance->HandleMessage(list.object, id, 0) == (clear ? 0 : 1));
        if (clear) list.model.clear();
        Check(list);
        break;
      }
      case 11:
        StoreAndLoad(list);
        break;
      case 12:
        CopyOrAssign(list);
        break;
      case 13:
        Transfer(list, lists_[in_.Byte() & 1]);
        break;
      case 14:
        Check(list);
        break;
    }
  }

  void Finish() {
    for (List& list : lists_) Check(list);
    fuzzing::Finish(std::move(host_));
  }

 private:
  static void Expect(bool holds) {
    if (!holds) __builtin_trap();
  }

  void ChooseTexts(refhost::Instance* instance) {
    refhost::HostEditor& editor = host_->NewEditor();
    const ChoiceValue choice{tag::kChoice, 5, 0};
    editor.SetItemRecord(6, &choice);
    Expect(instance->FromEditor(editor) == 0);
  }

  // A value of the list's kind and what the model keeps of it; sometimes one that does not fit.
  struct Written {
    fuzzing::Exact integer;
    std::unique_ptr<fuzzing::HeldText> text;
    std::string kept;
    bool fits = true;
    void* Value() { return text ? text->Value() : integer.Get(); }
  };
  void MakeValue(Written* w) {
    if (in_.Byte() % 16 == 0) {
      w->fits = false;
      const FlagValue flag{tag::kFlag, 1};
      w->integer = fuzzing::Exact(flag);
      return;
    }
    if (texts_) {
      w->kept = in_.Text(in_.Byte() % 6);
      w->text = std::make_unique<fuzzing::HeldText>(w->kept, tag::kText, in_.Byte() % 3);
      return;
    }
    const int32_t value = in_.Bool() ? static_cast<int32_t>(in_.Byte()) - 128 : in_.I32();
    w->kept = std::to_string(value);
    if (in_.Byte() % 4 == 0) {
      w->integer = fuzzing::Exact(RealValue{tag::kReal, static_cast<double>(value)});
    } else {
      w->integer = fuzzing::Exact(IntegerValue{tag::kInteger, value});
    }
  }

  int32_t Position() {
    switch (in_.Byte() % 8) {
      case 0:
        return in_.I32();
      case 1:
        return kLongest + 1 + static_cast<int32_t>(in_.Byte() % 2);
      default:
        return static_cast<int32_t>(in_.Byte() % 40) - 2;
    }
  }

  std::string Describe(Out& out) {
    refhost::Value value;
    refhost::Value::FromRecord(out.bytes, &value);
    fuzzing::FreeReceivedText(*host_, out.bytes, nullptr);
    if (value.tag == tag::kInteger) return std::to_string(value.AsInteger());
    if (refhost::IsText(value.tag)) return value.text;
    __builtin_trap();
  }

  Model Read(List& list) {
    Model read;
    Out count(tag::kInteger);
    Expect(list.instance->GetAttribute("count", nullptr, count.bytes) == 0);
    IntegerValue n;
    std::memcpy(&n, count.bytes, sizeof n);
    for (int32_t i = 1; i <= n.value; ++i) {
      Out out(tag::kUnassigned);
      const IntegerValue index{tag::kInteger, i};
      Expect(list.instance->GetAttribute("value", &index, out.bytes) == 0);
      read.push_back(Describe(out));
    }
    return read;
  }

  void Check(List& list) { Expect(Read(list) == list.model); }

  // After an operation whose order the model cannot tell: the same elements, in the list's order.
  void Adopt(List& list) {
    Model read = Read(list);
    Model a = read, b = list.model;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    Expect(a == b);
    list.model = read;
  }

  void WriteCount(List& list) {
    const int32_t n = in_.Byte() % 8 == 0 ? Position() : static_cast<int32_t>(in_.Byte() % 40);
    const IntegerValue value{tag::kInteger, n};
    const uint16_t status = list.instance->SetAttribute("count", nullptr, &value);
    if (n < 0 || n > kLongest) {
      Expect(status == 1);
      return;
    }
    Expect(status == 0);
    list.model.resize(static_cast<size_t>(n), texts_ ? "" : "0");
  }

  void WriteValue(List& list) {
    const int32_t position = Position();
    Written w;
    MakeValue(&w);
    const IntegerValue index{tag::kInteger, position};
    const uint16_t status = list.instance->SetAttribute("value", &index, w.Value());
    if (position == 0) {
      // The whole list becomes this one value.
      Expect(status == (w.fits ? 0 : 1));
      if (w.fits) list.model = {w.kept};
      return;
    }
    if (position < 0 || position > kLongest || !w.fits) {
      Expect(status == 1);
      return;
    }
    Expect(status == 0);
    if (static_cast<size_t>(position) > list.model.size()) {
      list.model.resize(static_cast<size_t>(position), texts_ ? "" : "0");
    }
    list.model[static_cast<size_t>(position) - 1] = w.kept;
  }

  void Insert(List& list) {
    const int32_t position = Position();
    Written w;
    MakeValue(&w);
    const IntegerValue index{tag::kInteger, position};
    const uint16_t status = list.instance->SetAttribute("insert", &index, w.Value());
    const bool inside = position >= 1 && static_cast<size_t>(position) <= list.model.size() &&
                        list.model.size() < static_cast<size_t>(kLongest);
    Expect(status == (w.fits && inside ? 0 : 1));
    if (status == 0) list.model.insert(list.model.begin() + (position - 1), w.kept);
  }

  void ReadOrDelete(List& list, bool andDelete) {
    const int32_t position = Position();
    Out out(in_.Bool() ? tag::kUnassigned : (texts_ ? tag::kText : tag::kInteger));
    const IntegerValue index{tag::kInteger, position};
    const uint16_t status =
        list.instance->GetAttribute(andDelete ? "delete" : "value", &index, out.bytes);
    if (position == 0) {
      // A whole-list read wants a reference to answer into; nothing is at position 0.
      Expect(status == 1);
      return;
    }
    const bool inside = position >= 1 && static_cast<size_t>(position) <= list.model.size();
    Expect(status == (inside ? 0 : 1));
    if (!inside) return;
    if (out.Tag() != tag::kText) {
      Expect(Describe(out) == list.model[static_cast<size_t>(position) - 1]);
    } else {
      // A text preset without a buffer gets one from the list (owner 0): read it, give it back.
      TextValue text;
      std::memcpy(&text, out.bytes, sizeof text);
      const std::string got = text.chars != nullptr ? std::string(text.chars) : "";
      if (text.chars != nullptr) {
        refhost::CallHostMethod(host_->ServiceObject(abi::service::kString), 1,
                                abi::method::kFreeString, text.chars);
      }
      Expect(got == list.model[static_cast<size_t>(position) - 1]);
    }
    if (andDelete) list.model.erase(list.model.begin() + (position - 1));
  }

  void Sort(List& list, bool ascending) {
    Out out(tag::kUnassigned);
    const uint16_t status =
        list.instance->GetAttribute(ascending ? "sortAscend" : "sortDescend", nullptr, out.bytes);
    Expect(status == (list.model.empty() ? 1 : 0));
    if (texts_) {
      // Elements without text compare equal to every other: only the elements are known.
      Adopt(list);
      return;
    }
    std::sort(list.model.begin(), list.model.end(), [ascending](const auto& a, const auto& b) {
      return ascending ? std::stoll(a) < std::stoll(b) : std::stoll(a) > std::stoll(b);
    });
    Check(list);
  }

  void Draw(List& list, const char* name) {
    Out out(tag::kUnassigned);
    const uint16_t status = list.instance->GetAttribute(name, nullptr, out.bytes);
    if (list.model.empty()) {
      Expect(status == 1);
      return;
    }
    Expect(status == 0);
    const std::string drawn = Describe(out);
    auto at = std::find(list.model.begin(), list.model.end(), drawn);
    Expect(at != list.model.end());
    if (std::strcmp(name, "randomDelete") == 0) {
      list.model.erase(at);
      Adopt(list);
    }
  }

  void StoreAndLoad(List& list) {
    refhost::HostStream& stream = host_->NewStream();
    int16_t version = -1;
    uint32_t size = 0;
    Expect(list.instance->StoredSize(stream, &version, &size) == 0);
    Expect(list.instance->Save(stream) == 0);
    Expect(stream.Bytes().size() == size);
    stream.Rewind();
    List& target = lists_[in_.Byte() & 1];
    Expect(target.instance->Load(stream, version) == 0);
    target.model = list.model;
  }

  void CopyOrAssign(List& list) {
    List& source = lists_[in_.Byte() & 1];
    if (in_.Bool()) {
      Expect(list.instance->Assign(*source.instance) == 0);
    } else {
      refhost::Instance* copy = host_->CopyConstruct(*source.instance, list.object, list.object);
      if (copy == nullptr) __builtin_trap();
      host_->Destroy(list.instance);
      list.instance = copy;
    }
    list.model = source.model;
  }

  void Transfer(List& list, List& source) {
    IntegerValue index{tag::kInteger, 0};
    const ReferenceValue reference{tag::kReference, nullptr, nullptr, source.object, nullptr};
    const uint16_t status = list.instance->SetAttribute("value", &index, &reference);
    // A list cannot ask its own object (the host does not ask an instance about its owner
    // while it is asking), and then the reference itself does not fit.
    if (&list == &source) {
      Expect(status == 1);
      return;
    }
    Expect(status == 0);
    list.model = source.model;
  }

  Input& in_;
  bool texts_;
  std::unique_ptr<refhost::Host> host_;
  std::vector<List> lists_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  Run run(in, in.Bool());
  run.Start();
  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) run.Step();
  run.Finish();
  return 0;
}
