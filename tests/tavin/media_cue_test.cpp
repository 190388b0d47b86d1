// MediaCue's configuration through the reference host: registration, defaults, the "events"
// attribute, editor items, the stored forms, copies and assignment.
#include "tavin/media_cue.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "host/playback.h"
#include "tests/common/plugin_fixture.h"

namespace {

using testing_support::EventsIndex;
using testing_support::MessageId;

refhost::Value Range(int32_t start, int32_t end) {
  const RangeValue range{tag::kRange, start, end};
  return refhost::Value::Raw(&range, sizeof range);
}

refhost::Value Choice(uint32_t selection, uint32_t word) {
  const ChoiceValue choice{tag::kChoice, selection, word};
  return refhost::Value::Raw(&choice, sizeof choice);
}

class MediaCue : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    clip_ = host_->AddObject(0, "clip", "movie");
    cue_ = host_->Create("MediaCue", clip_);
    ASSERT_NE(cue_, nullptr);
  }

  static tavin::MediaCueRecord Record(const refhost::Instance* instance) {
    tavin::MediaCueRecord r;
    std::memcpy(&r, instance->Record(), sizeof r);
    return r;
  }
  static std::vector<uint8_t> Bytes(const refhost::Instance* instance) {
    const auto* at = static_cast<const uint8_t*>(instance->Record());
    return std::vector<uint8_t>(at, at + sizeof(tavin::MediaCueRecord));
  }
  // A held value slot of the instance, read the way the host reads it.
  static refhost::Value Held(const refhost::Instance* instance, size_t offset) {
    refhost::Value v;
    refhost::Value::FromRecord(static_cast<const uint8_t*>(instance->Record()) + offset, &v);
    return v;
  }

  // Runs FromEditor over the given items, the rest as ToEditor left them.
  void Edit(refhost::Instance* instance,
            std::initializer_list<std::pair<int16_t, refhost::Value>> items) {
    refhost::HostEditor& editor = host_->NewEditor();
    ASSERT_EQ(instance->ToEditor(editor), 0);
    for (const auto& [item, value] : items) editor.SetItem(item, value);
    ASSERT_EQ(instance->FromEditor(editor), 0);
  }

  uint32_t clip_ = 0;
  refhost::Instance* cue_ = nullptr;
};

template <typename T>
bool Is(const void* at, const T& value) {
  return std::memcmp(at, &value, sizeof value) == 0;
}

constexpr size_t kDestination = offsetof(tavin::MediaCueRecord, destination);
constexpr size_t kData = offsetof(tavin::MediaCueRecord, messageData);
constexpr size_t kSetting = offsetof(tavin::MediaCueRecord, rangeSetting);

TEST_F(MediaCue, RegistersAsTheHostExpects) {
  const refhost::ClassInfo* info = host_->FindClass("MediaCue");
  ASSERT_NE(info, nullptr);
  EXPECT_TRUE(info->usable) << info->error;
  EXPECT_EQ(info->instanceSize, 182u);
  EXPECT_EQ(info->classFlags, 1u);
  EXPECT_EQ(info->interfaceName, "_QComponent");
  const std::vector<std::pair<uint16_t, uint16_t>> expected = {
      {0, 7},  {0, 8},  {0, 34}, {0, 9},  {0, 22}, {0, 26}, {0, 27}, {0, 29}, {0, 17},
      {0, 19}, {0, 18}, {0, 13}, {0, 14}, {0, 25}, {0, 23}, {1, 0},  {1, 1}};
  std::vector<std::pair<uint16_t, uint16_t>> slots;
  for (const refhost::SlotInfo& slot : info->slots) {
    slots.emplace_back(slot.row, slot.column);
    EXPECT_EQ(+info->Entry(slot.row, slot.column)->flags, 1);
  }
  EXPECT_EQ(slots, expected);
}

TEST_F(MediaCue, ConstructSetsEveryDefaultWhateverTheMemoryHeld) {
  // A runtime that does not clear new memory: every byte starts as 0xA5, except that the
  // resolved cue looks like a point at 0 and the movie value like a nonzero "movie".
  std::vector<uint8_t> stale(182, 0xA5);
  stale[128] = tag::kInteger;
  stale[129] = 0;
  std::memset(&stale[130], 0, 4);
  host_->SetFreshInstanceBytes(stale);
  refhost::Instance* fresh = host_->Create("MediaCue", clip_);
  refhost::Instance* copy = host_->CopyConstruct(*cue_, clip_);
  host_->SetFreshInstanceBytes({});

  for (refhost::Instance* instance : {cue_, fresh, copy}) {
    SCOPED_TRACE(instance->Label());
    const tavin::MediaCueRecord r = Record(instance);
    EXPECT_TRUE(Is(&r.enableId, MessageIdValue{23, 2001, 0}));
    EXPECT_TRUE(Is(&r.disableId, MessageIdValue{23, 2002, 0}));
    EXPECT_TRUE(Is(&r.sendId, MessageIdValue{23, 1, 0}));
    EXPECT_TRUE(Is(&r.messageFlags, IntegerValue{1, 7}));
    EXPECT_EQ(Held(instance, kDestination), Choice(201, 5));
    EXPECT_EQ(Held(instance, kData).tag, tag::kEmpty);
    EXPECT_EQ(Held(instance, kSetting).tag, tag::kEmpty);
    EXPECT_TRUE(Is(&r.triggerMode, IntegerValue{1, 0}));
    EXPECT_EQ(+r.activeRange[0], tag::kEmpty);
    EXPECT_EQ(+r.direction, 0);
    EXPECT_EQ(+r.lastPosition, 0);
    EXPECT_EQ(r.cueFlags & tavin::kCueFired, 0u);
    EXPECT_EQ(+r.movieValue, 0);
    EXPECT_EQ(r.watchFlags & tavin::kWatching, 0);
    EXPECT_EQ(+r.owner, 0u);
    EXPECT_TRUE(Is(&r.rate, IntegerValue{1, 0}));
  }

  // With no cue configured, nothing left in memory may act as one.
  refhost::Playback(*host_, clip_).SetRate(1000);
  for (refhost::Instance* instance : {fresh, copy}) {
    instance->Enable();
    instance->HandleMessage(clip_, 2001, 0);
  }
  refhost::Playback(*host_, clip_).Seek(-10);
  refhost::Playback(*host_, clip_).Play(500, 100);
  EXPECT_TRUE(host_->Messages().empty());
}

TEST_F(MediaCue, EventsReadsTheThreeIdsAndRefusesEverythingElse) {
  Edit(cue_, {{tavin::kMediaCueEnableItem, refhost::Value::MessageId(11, 1)},
              {tavin::kMediaCueDisableItem, refhost::Value::MessageId(22, 2)},
              {tavin::kMediaCueSendItem, refhost::Value::MessageId(33, 3)}});
  const std::pair<uint8_t, uint32_t> selected[] = {{0x80, 11}, {0x40, 22}, {0x20, 33}};
  for (const auto& [selector, id] : selected) {
    for (const char* name : {"events", "EVENTS"}) {
      MessageIdValue out = MessageId(0);
      const IntegerValue index = EventsIndex(selector, 1);
      EXPECT_EQ(cue_->GetAttribute(name, &index, &out), 0);
      EXPECT_EQ(+out.id, id);
      EXPECT_EQ(+out.second, id / 11);
    }
  }

  const MessageIdValue untouched = MessageId(9, 9);
  auto refused = [&](const char* name, const void* index) {
    MessageIdValue out = untouched;
    const uint16_t result = cue_->GetAttribute(name, index, &out);
    EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0) << name;
    return result;
  };
  for (const IntegerValue index :
       {EventsIndex(0x80, 2), EventsIndex(0x40, 0), EventsIndex(0x10, 1), EventsIndex(0x00, 1),
        EventsIndex(0xA0, 1), EventsIndex(0x20, 0x800001)}) {
    EXPECT_EQ(refused("events", &index), 1) << std::hex << +index.value;
  }
  const RealValue real = testing_support::Real(1.0);
  EXPECT_EQ(refused("events", &real), 1);
  EXPECT_EQ(refused("events", nullptr), 1);
  const IntegerValue index = EventsIndex(0x80, 1);
  for (const char* name : {"msgflag", "sendcommand", "enable", "disable", "rate", "event"}) {
    EXPECT_EQ(refused(name, &index), 1);
  }
  // Nothing can be written.
  const MessageIdValue id = MessageId(5);
  for (const char* name : {"events", "msgflag", "sendcommand", "enable", "disable"}) {
    EXPECT_EQ(cue_->SetAttribute(name, &index, &id), 1) << name;
  }
  EXPECT_EQ(+Record(cue_).enableId.id, 11u);
}

TEST_F(MediaCue, ToEditorWritesEveryItem) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(cue_->ToEditor(editor, 1), 1);
  EXPECT_EQ(cue_->ToEditor(editor, -1), 1);
  EXPECT_EQ(editor.PutCount(), 0);

  tavin::MediaCueRecord r = Record(cue_);
  r.messageFlags.value = 5;  // bits 0 and 2
  r.triggerMode.value = 2;
  std::memcpy(cue_->Record(), &r, sizeof r);
  ASSERT_EQ(cue_->ToEditor(editor, 0), 0);
  EXPECT_EQ(editor.PutCount(), 12);
  EXPECT_EQ(*editor.Item(24), refhost::Value::MessageId(2001));
  EXPECT_EQ(*editor.Item(25), refhost::Value::MessageId(2002));
  EXPECT_EQ(*editor.Item(14), refhost::Value::MessageId(1));
  EXPECT_EQ(*editor.Item(21), refhost::Value::Flag(true));
  EXPECT_EQ(*editor.Item(22), refhost::Value::Flag(false));
  EXPECT_EQ(*editor.Item(23), refhost::Value::Flag(true));
  EXPECT_EQ(*editor.Item(18), Choice(201, 5));
  EXPECT_EQ(editor.Item(16)->tag, tag::kEmpty);
  EXPECT_EQ(editor.Item(7)->tag, tag::kEmpty);
  EXPECT_EQ(*editor.Item(9), refhost::Value::Flag(false));
  EXPECT_EQ(*editor.Item(10), refhost::Value::Flag(false));
  EXPECT_EQ(*editor.Item(11), refhost::Value::Flag(true));
}

TEST_F(MediaCue, FromEditorReadsEveryItem) {
  Edit(cue_, {{24, refhost::Value::MessageId(70, 7)},
              {25, refhost::Value::MessageId(80)},
              {14, refhost::Value::MessageId(90)},
              {21, refhost::Value::Flag(false)},
              {22, refhost::Value::Flag(true)},
              {23, refhost::Value::Integer(0)},
              {18, refhost::Value::Text("/clip")},
              {16, refhost::Value::Integer(42)},
              {7, Range(10, 20)},
              {9, refhost::Value::Flag(false)},
              {10, refhost::Value::Flag(true)},
              {11, refhost::Value::Flag(true)}});
  tavin::MediaCueRecord r = Record(cue_);
  EXPECT_EQ(+r.enableId.id, 70u);
  EXPECT_EQ(+r.enableId.second, 7u);
  EXPECT_EQ(+r.disableId.id, 80u);
  EXPECT_EQ(+r.sendId.id, 90u);
  EXPECT_EQ(+r.messageFlags.value, 2);
  EXPECT_EQ(Held(cue_, kDestination), refhost::Value::Text("/clip"));
  EXPECT_EQ(Held(cue_, kData), refhost::Value::Integer(42));
  EXPECT_EQ(Held(cue_, kSetting), Range(10, 20));
  EXPECT_EQ(+r.triggerMode.value, 2);  // several set: the last read wins

  // A zero flag leaves the mode; a missing item changes nothing, and in particular does not
  // repeat the flag read before it.
  refhost::HostEditor& sparse = host_->NewEditor();
  sparse.SetItem(9, refhost::Value::Flag(false));
  sparse.SetItem(10, refhost::Value::Flag(true));
  sparse.SetItem(21, refhost::Value::Flag(true));
  ASSERT_EQ(cue_->FromEditor(sparse), 0);
  r = Record(cue_);
  EXPECT_EQ(+r.triggerMode.value, 1);
  EXPECT_EQ(+r.messageFlags.value, 3);
  EXPECT_EQ(+r.enableId.id, 70u);
  EXPECT_EQ(Held(cue_, kDestination), refhost::Value::Text("/clip"));  // kept, not lost
  EXPECT_EQ(Held(cue_, kSetting), Range(10, 20));

  // The data keeps the kind it holds: a text for an integer is not taken.
  Edit(cue_, {{16, refhost::Value::Text("hi")}});
  EXPECT_EQ(Held(cue_, kData), refhost::Value::Integer(42));

  // Held texts replaced by longer ones: whole, and the old buffers given back (no leak).
  refhost::Instance* texts = host_->Create("MediaCue", clip_);
  Edit(texts, {{18, refhost::Value::Text("/clip")}, {16, refhost::Value::Text("hi")}});
  Edit(texts, {{18, refhost::Value::Text("/a/much/longer/destination")},
               {16, refhost::Value::Text("a longer greeting")}});
  EXPECT_EQ(Held(texts, kDestination), refhost::Value::Text("/a/much/longer/destination"));
  EXPECT_EQ(Held(texts, kData), refhost::Value::Text("a longer greeting"));
  EXPECT_EQ(cue_->EditorItemChanged(sparse, 7), 0);
}

TEST_F(MediaCue, SaveAndLoadBothVersions) {
  Edit(cue_, {{24, refhost::Value::MessageId(70, 7)},
              {14, refhost::Value::MessageId(90)},
              {22, refhost::Value::Flag(false)},
              {18, refhost::Value::Text("/clip")},
              {16, refhost::Value::Text("payload")},
              {7, Range(-5, 500)},
              {11, refhost::Value::Flag(true)}});
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  ASSERT_EQ(cue_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(version, 1);
  ASSERT_EQ(cue_->Save(stream), 0);
  EXPECT_EQ(size, stream.Bytes().size());

  // Into a fresh instance: every field, whatever kind the destination and data are.
  refhost::Instance* loaded = host_->Create("MediaCue", clip_);
  stream.Rewind();
  ASSERT_EQ(loaded->Load(stream, 1), 0);
  EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
  EXPECT_EQ(std::memcmp(loaded->Record(), cue_->Record(), kDestination), 0);
  EXPECT_EQ(Held(loaded, kDestination), refhost::Value::Text("/clip"));
  EXPECT_EQ(Held(loaded, kData), refhost::Value::Text("payload"));
  EXPECT_EQ(Held(loaded, kSetting), Range(-5, 500));
  EXPECT_EQ(+Record(loaded).triggerMode.value, 2);

  // Loading over held values replaces them (no leak), and clears fired and watching.
  tavin::MediaCueRecord r = Record(loaded);
  r.cueFlags |= tavin::kCueFired;
  r.watchFlags |= tavin::kWatching;
  std::memcpy(loaded->Record(), &r, sizeof r);
  stream.Rewind();
  ASSERT_EQ(loaded->Load(stream, 1), 0);
  EXPECT_EQ(Record(loaded).cueFlags & tavin::kCueFired, 0u);
  EXPECT_EQ(Record(loaded).watchFlags & tavin::kWatching, 0);

  // Version 0: seven fields in the older order; the trigger mode stays as it was.
  refhost::HostStream& old = host_->NewStream();
  old.Write(refhost::Value::MessageId(501));
  old.Write(refhost::Value::MessageId(502));
  old.Write(refhost::Value::Integer(300));
  old.Write(refhost::Value::Integer(4));
  old.Write(refhost::Value::MessageId(503));
  old.Write(refhost::Value::Text("/clip"));
  old.Write(refhost::Value::Integer(77));
  refhost::Instance* legacy = host_->Create("MediaCue", clip_);
  ASSERT_EQ(legacy->Load(old, 0), 0);
  r = Record(legacy);
  EXPECT_EQ(+r.enableId.id, 501u);
  EXPECT_EQ(+r.disableId.id, 502u);
  EXPECT_EQ(Held(legacy, kSetting), refhost::Value::Integer(300));
  EXPECT_EQ(+r.messageFlags.value, 4);
  EXPECT_EQ(+r.sendId.id, 503u);
  EXPECT_EQ(Held(legacy, kDestination), refhost::Value::Text("/clip"));
  EXPECT_EQ(Held(legacy, kData), refhost::Value::Integer(77));
  EXPECT_EQ(+r.triggerMode.value, 0);
  old.Rewind();
  ASSERT_EQ(loaded->Load(old, 0), 0);
  EXPECT_EQ(+Record(loaded).triggerMode.value, 2);

  // Any other version: refused, nothing read, nothing changed.
  const std::vector<uint8_t> before = Bytes(loaded);
  for (int16_t bad : {2, -1, 100}) {
    stream.Rewind();
    EXPECT_EQ(loaded->Load(stream, bad), 1) << bad;
    EXPECT_EQ(stream.ReadPosition(), 0u);
    EXPECT_EQ(Bytes(loaded), before);
  }
}

TEST_F(MediaCue, CopiesTakeTheSettingsAndStartTheirOwnRun) {
  Edit(cue_, {{24, refhost::Value::MessageId(70)},
              {16, refhost::Value::Text("payload")},
              {18, refhost::Value::Text("/clip")},
              {7, refhost::Value::Integer(300)},
              {10, refhost::Value::Flag(true)}});
  refhost::Playback playback(*host_, clip_);
  playback.SetRate(-1000);
  cue_->Enable();
  host_->SendMessage(clip_, 70);
  playback.Seek(600);
  playback.Seek(200);  // fired going backward
  ASSERT_EQ(host_->Messages().size(), 1u);
  const tavin::MediaCueRecord source = Record(cue_);
  ASSERT_EQ(source.cueFlags & tavin::kCueFired, tavin::kCueFired);

  refhost::Instance* copy = host_->CopyConstruct(*cue_, clip_);
  tavin::MediaCueRecord r = Record(copy);
  EXPECT_EQ(std::memcmp(&r, &source, kDestination), 0);
  EXPECT_EQ(+r.triggerMode.value, 1);
  EXPECT_EQ(Held(copy, kData), refhost::Value::Text("payload"));
  EXPECT_EQ(Held(copy, kDestination), refhost::Value::Text("/clip"));
  EXPECT_EQ(Held(copy, kSetting), refhost::Value::Integer(300));
  EXPECT_EQ(+r.owner, 0u);
  EXPECT_EQ(+r.direction, 0);
  EXPECT_EQ(+r.lastPosition, 0);
  EXPECT_EQ(r.cueFlags & tavin::kCueFired, 0u);
  EXPECT_EQ(r.watchFlags & tavin::kWatching, 0);
  EXPECT_TRUE(Is(&r.rate, IntegerValue{1, 0}));
  // Its own buffers: the source going away leaves the copy's data intact.
  host_->Destroy(cue_);
  EXPECT_EQ(Held(copy, kData), refhost::Value::Text("payload"));

  // Assign over a configured, running instance: its held values are released, not lost;
  // rate and owner stay.
  refhost::Instance* target = host_->Create("MediaCue", clip_);
  Edit(target, {{16, refhost::Value::Text("old data")}, {18, refhost::Value::Text("/old")}});
  target->Enable();
  host_->SendMessage(clip_, 2001);
  host_->SetPosition(clip_, 100);
  const tavin::MediaCueRecord running = Record(target);
  ASSERT_EQ(running.watchFlags & tavin::kWatching, tavin::kWatching);
  ASSERT_EQ(target->Assign(*copy), 0);
  r = Record(target);
  EXPECT_EQ(+r.enableId.id, 70u);
  EXPECT_EQ(Held(target, kData), refhost::Value::Text("payload"));
  EXPECT_EQ(Held(target, kDestination), refhost::Value::Text("/clip"));
  EXPECT_EQ(+r.owner, clip_);
  EXPECT_EQ(+r.rate.value, -1000);
  EXPECT_EQ(+r.direction, 0);
  EXPECT_EQ(+r.lastPosition, 0);
  EXPECT_EQ(r.watchFlags & tavin::kWatching, 0);

  // Assigning an instance to itself keeps its settings.
  ASSERT_EQ(target->Assign(*target), 0);
  EXPECT_EQ(Held(target, kData), refhost::Value::Text("payload"));
  EXPECT_EQ(Held(target, kDestination), refhost::Value::Text("/clip"));
}

}  // namespace

namespace {

// A value of a fixed-size kind larger than MediaCue's destination and cue slots.
refhost::Value LargeRecord(uint8_t fill) {
  Record40Value record{};
  record.tag = tag::kRecord40;
  std::memset(record.bytes, fill, sizeof record.bytes);
  return refhost::Value::Raw(&record, sizeof record);
}

}  // namespace

TEST_F(MediaCue, AValueLargerThanItsSlotIsRefusedNotCut) {
  // From the editor: the destination (18 bytes) and the cue (26 bytes) keep what they held;
  // the data slot (42 bytes) has room for the record and takes it.
  Edit(cue_, {{18, refhost::Value::Text("/clip")}, {7, Range(10, 20)}});
  const tavin::MediaCueRecord before = Record(cue_);
  Edit(cue_, {{18, LargeRecord(0xAB)}, {7, LargeRecord(0xCD)}, {16, LargeRecord(0x11)}});
  EXPECT_EQ(Held(cue_, kDestination), refhost::Value::Text("/clip"));
  EXPECT_EQ(Held(cue_, kSetting), Range(10, 20));
  EXPECT_EQ(Held(cue_, kData), LargeRecord(0x11));
  tavin::MediaCueRecord after = Record(cue_);
  EXPECT_EQ(+after.triggerMode.tag, tag::kInteger);
  EXPECT_EQ(std::memcmp(after.activeRange, before.activeRange, sizeof after.activeRange), 0);

  // From a stored form: the oversized values are passed over and the fields behind them still
  // line up; a copy of the instance writes nothing past its slots.
  refhost::HostStream& stream = host_->NewStream();
  stream.Write(refhost::Value::MessageId(61));
  stream.Write(refhost::Value::MessageId(62));
  stream.Write(refhost::Value::MessageId(63));
  stream.Write(refhost::Value::Integer(5));
  stream.Write(LargeRecord(0xAB));
  stream.Write(refhost::Value::Integer(8));
  stream.Write(LargeRecord(0xCD));
  stream.Write(refhost::Value::Integer(1));
  refhost::Instance* loaded = host_->Create("MediaCue", clip_);
  ASSERT_EQ(loaded->Load(stream, 1), 0);
  EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
  after = Record(loaded);
  EXPECT_EQ(+after.sendId.id, 63u);
  EXPECT_EQ(+after.triggerMode.value, 1);
  EXPECT_EQ(Held(loaded, kData), refhost::Value::Integer(8));
  EXPECT_NE(Held(loaded, kDestination).tag, tag::kRecord40);
  EXPECT_NE(Held(loaded, kSetting).tag, tag::kRecord40);
  refhost::Instance* copy = host_->CopyConstruct(*loaded, clip_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(+Record(copy).triggerMode.value, 1);
  EXPECT_EQ(Held(copy, kData), refhost::Value::Integer(8));
}
