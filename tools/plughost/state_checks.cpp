// State checks beyond the plain round trip: edited settings, every data version, and stored
// forms that are empty, cut short, damaged or random, as a damaged or foreign title file hands
// them over.
#include <string>
#include <vector>

#include "host/value.h"
#include "tools/plughost/check_context.h"

namespace plughost::checks {

bool ClassChecks::EditedForm(Bytes* bytes, int16_t* version) {
  Instance* instance = MakeEdited();
  if (instance == nullptr) return false;
  refhost::HostStream* saved = nullptr;
  if (!SaveInto(instance, &saved, version).empty()) return false;
  *bytes = saved->Bytes();
  host_.Destroy(instance);
  return true;
}

std::string ClassChecks::LoadSurvived(const Bytes& bytes, int16_t version,
                                      const std::string& what) {
  Progress("at Load of " + what);
  MAKE(fresh);
  refhost::HostStream& stream = host_.NewStream();
  stream.SetBytes(bytes);
  const uint16_t status = fresh->Load(stream, version);
  if (std::string why = Usable(fresh); !why.empty())
    return "after Load of " + what + " (answered " + Number(status) + "): " + why;
  return Clean("Load of " + what);
}

std::string ClassChecks::EditedRoundTrip() {
  NEEDS(kSave, "Save");
  Bytes form;
  int16_t version = 0;
  if (!EditedForm(&form, &version)) return "an edited instance could not save";
  MAKE(fresh);
  refhost::HostStream& stream = host_.NewStream();
  stream.SetBytes(form);
  const uint16_t status = fresh->Load(stream, version);
  if (status != 0) return "Load of its own edited form answered " + Number(status);
  std::optional<Bytes> again = Stored(fresh);
  if (again && *again != form)
    return "the loaded instance stores differently: " + Difference(form, *again);
  return "";
}

std::string ClassChecks::OtherVersions() {
  NEEDS(kLoad, "Load");
  Bytes form;
  int16_t saved = 0;
  if (!EditedForm(&form, &saved)) return "an edited instance could not save";
  std::vector<int16_t> versions;
  if (strictness_ >= 10) {
    for (int v = INT16_MIN; v <= INT16_MAX; ++v) versions.push_back(static_cast<int16_t>(v));
  } else {
    for (int v = -1; v < 16 * strictness_; ++v) versions.push_back(static_cast<int16_t>(v));
    for (int v : {INT16_MIN, INT16_MAX, saved - 1, saved + 1, saved + 2, 0x100, 0x7F00})
      versions.push_back(static_cast<int16_t>(v));
  }
  Instance* instance = MakeEdited();
  refhost::HostStream& stream = host_.NewStream();
  for (int16_t version : versions) {
    if (version == saved) continue;
    if (instance == nullptr) return "the host could not create an instance";
    stream.SetBytes(form);
    const Bytes before = RecordOf(instance);
    const uint16_t status = instance->Load(stream, version);
    if (status != 1) {
      // It reads that version too: any instance may take its place.
      host_.Destroy(instance);
      instance = MakeEdited();
      continue;
    }
    if (stream.ReadPosition() != 0)
      return "version " + std::to_string(version) + " answered 1 after reading " +
             Number(stream.ReadPosition()) + " bytes";
    if (RecordOf(instance) != before)
      return "version " + std::to_string(version) +
             " answered 1 but changed the instance: " + Difference(before, RecordOf(instance));
  }
  return "";
}

std::string ClassChecks::LoadEmptyStream() {
  NEEDS(kLoad, "Load");
  Bytes form;
  int16_t version = 0;
  if (!EditedForm(&form, &version)) return "an edited instance could not save";
  return LoadSurvived({}, version, "an empty stream");
}

std::string ClassChecks::LoadTruncatedStreams() {
  NEEDS(kLoad, "Load");
  Bytes form;
  int16_t version = 0;
  if (!EditedForm(&form, &version)) return "an edited instance could not save";
  if (form.empty()) return "skip: it stores nothing";
  const size_t tried = Budget(form.size(), 8);
  for (size_t i = 0; i < tried; ++i) {
    const size_t length = tried == form.size() ? i : i * form.size() / tried;
    const Bytes cut(form.begin(), form.begin() + static_cast<std::ptrdiff_t>(length));
    if (std::string why = LoadSurvived(
            cut, version,
            "its stored form cut to " + Number(length) + " of " + Number(form.size()) + " bytes");
        !why.empty())
      return why;
  }
  return "";
}

std::string ClassChecks::LoadBitFlippedStreams() {
  NEEDS(kLoad, "Load");
  Bytes form;
  int16_t version = 0;
  if (!EditedForm(&form, &version)) return "an edited instance could not save";
  if (form.empty()) return "skip: it stores nothing";
  const size_t bits = form.size() * 8;
  // At the highest strictness every single bit, then as many random pairs.
  const size_t single = strictness_ >= 10 ? bits : 0;
  const size_t pairs = Budget(bits, 16);
  for (size_t i = 0; i < single + pairs; ++i) {
    Bytes damaged = form;
    std::string what;
    if (i < single) {
      damaged[i / 8] ^= static_cast<uint8_t>(1u << (i % 8));
      what = "its stored form with bit " + Number(i % 8) + " of byte " + Number(i / 8) + " flipped";
    } else {
      const uint32_t a = Draw(static_cast<uint32_t>(bits)), b = Draw(static_cast<uint32_t>(bits));
      damaged[a / 8] ^= static_cast<uint8_t>(1u << (a % 8));
      damaged[b / 8] ^= static_cast<uint8_t>(1u << (b % 8));
      what = "its stored form with bits " + Number(a) + " and " + Number(b) + " flipped";
    }
    if (std::string why = LoadSurvived(damaged, version, what); !why.empty()) return why;
  }
  return "";
}

std::string ClassChecks::LoadRandomStreams() {
  NEEDS(kLoad, "Load");
  Bytes form;
  int16_t version = 0;
  if (!EditedForm(&form, &version)) return "an edited instance could not save";
  const size_t streams = Budget(400, 16);
  for (size_t i = 0; i < streams; ++i) {
    refhost::HostStream& stream = host_.NewStream();
    std::string what;
    if (i % 2 == 0) {
      // Raw bytes, of lengths around the stored form's.
      Bytes bytes(Draw(static_cast<uint32_t>(form.size() * 2 + 16)));
      for (uint8_t& b : bytes) b = static_cast<uint8_t>(Next());
      stream.SetBytes(bytes);
      what = Number(bytes.size()) + " random bytes";
    } else {
      // Well-formed values of any kind, in an order the class may not expect.
      const uint32_t count = 1 + Draw(8);
      for (uint32_t n = 0; n < count; ++n) {
        switch (Draw(9)) {
          case 0:
            stream.Write(refhost::Value::Integer(static_cast<int32_t>(Next())));
            break;
          case 1:
            stream.Write(refhost::Value::Flag(Draw(2) == 1));
            break;
          case 2:
            stream.Write(refhost::Value::MessageId(Next(), Draw(3) == 0 ? Next() : 0));
            break;
          case 3:
            stream.Write(refhost::Value::Real(static_cast<int32_t>(Next()) / 7.0));
            break;
          case 4:
            stream.Write(refhost::Value::Text(
                std::string(Draw(3) == 0 ? 300 + Draw(40000) : Draw(40), 'v')));
            break;
          case 5:
            stream.Write(refhost::Value::Reference(owner_));
            break;
          case 6:
            stream.Write(
                refhost::Value::Point(static_cast<int16_t>(Next()), static_cast<int16_t>(Next())));
            break;
          case 7:
            stream.Write(refhost::Value::Duration(Next(), Draw(4) == 0 ? 0 : Next(), Next()));
            break;
          default:
            stream.Write(refhost::Value());
        }
      }
      what = Number(count) + " random values";
    }
    const Bytes bytes = stream.Bytes();
    if (std::string why = LoadSurvived(bytes, version, what + " (stream " + Number(i) + ")");
        !why.empty())
      return why;
  }
  return "";
}

}  // namespace plughost::checks
