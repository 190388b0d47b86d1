#include <chrono>
#include <cstring>
#include <string>

#include "tests/host/host_test_support.h"

namespace {

using testing_support::Reference;

class TreeTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    scene_ = host_->AddObject(0, "scene");
    movie_ = host_->AddObject(scene_, "movie", "kov");
    clip_ = host_->AddObject(movie_, "clip");
  }
  uint32_t scene_ = 0, movie_ = 0, clip_ = 0;
};

TEST_F(TreeTest, PathsAreWrittenMeasuredAndResolvedWithTheGivenSeparator) {
  EXPECT_EQ(host_->PathOf(clip_), "/scene/movie/clip");
  char out[64];
  EXPECT_EQ(S(svc::kPath, mth::kWriteObjectPath, clip_, int16_t{'/'}, out), 0);
  EXPECT_STREQ(out, "/scene/movie/clip");
  EXPECT_EQ(S(svc::kPath, mth::kWriteObjectPath, clip_, int16_t{'.'}, out), 0);
  EXPECT_STREQ(out, ".scene.movie.clip");
  uint32_t length = 0;
  EXPECT_EQ(S(svc::kPath, mth::kObjectPathLength, clip_, static_cast<void*>(&length)), 0);
  EXPECT_EQ(length, 17u);

  uint32_t found = 0;
  EXPECT_EQ(S(svc::kPath, mth::kResolveObjectPath, int16_t{'/'}, "/scene/movie",
              static_cast<void*>(&found)),
            0);
  EXPECT_EQ(found, movie_);
  EXPECT_EQ(S(svc::kPath, mth::kResolveObjectPath, int16_t{'.'}, ".scene.movie.clip",
              static_cast<void*>(&found)),
            0);
  EXPECT_EQ(found, clip_);
  // "/", a trailing separator, an empty name, a relative path and an unknown name name nothing.
  for (const char* path : {"/", "/scene/", "//scene", "scene/movie", "/scene/nothing", ""}) {
    found = 1;
    EXPECT_EQ(
        S(svc::kPath, mth::kResolveObjectPath, int16_t{'/'}, path, static_cast<void*>(&found)), 0)
        << path;
    EXPECT_EQ(found, 0u) << path;
  }
  // Unknown objects and null outputs are refused without writing.
  std::strcpy(out, "keep");
  EXPECT_NE(S(svc::kPath, mth::kWriteObjectPath, uint32_t{999}, int16_t{'/'}, out), 0);
  EXPECT_STREQ(out, "keep");
  EXPECT_NE(S(svc::kPath, mth::kObjectPathLength, uint32_t{999}, static_cast<void*>(&length)), 0);
  EXPECT_NE(
      S(svc::kPath, mth::kResolveObjectPath, int16_t{'/'}, "/scene", static_cast<void*>(nullptr)),
      0);
}

TEST_F(TreeTest, ReferencesChainToTheirObjectAndAreClearedWhenItGoes) {
  IdentityValue idA{}, idB{};
  ReferenceValue a = Reference(movie_, &idA), b = Reference(movie_, &idB), c = Reference(movie_);
  EXPECT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&a)), 0);
  EXPECT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&b)), 0);
  EXPECT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&c)), 0);
  EXPECT_EQ(host_->ChainOf(movie_).size(), 3u);
  EXPECT_EQ(Get(idA.tag), tag::kIdentity);
  EXPECT_NE(Get(idA.word), 0u);
  EXPECT_EQ(std::memcmp(&idA, &idB, sizeof idA), 0);
  // Registering again does not chain twice.
  EXPECT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&a)), 0);
  EXPECT_EQ(host_->ChainOf(movie_).size(), 3u);

  // A plug-in unlinking the first element splices around the host's anchor.
  ReferenceValue* first = const_cast<ReferenceValue*>(host_->ChainOf(movie_)[0]);
  if (first->previous != nullptr) first->previous->next = first->next;
  if (first->next != nullptr) first->next->previous = first->previous;
  first->previous = first->next = nullptr;
  EXPECT_EQ(host_->ChainOf(movie_).size(), 2u);

  // The object goes: every chained reference gets object 0 and no links; the unlinked one
  // keeps its object, since the host no longer knows it.
  ASSERT_TRUE(host_->RemoveObject(scene_));  // takes movie and clip with it
  EXPECT_FALSE(host_->Exists(movie_));
  EXPECT_FALSE(host_->Exists(clip_));
  int cleared = 0;
  for (ReferenceValue* r : {&a, &b, &c}) {
    if (r == first) {
      EXPECT_EQ(Get(r->object), movie_);
      continue;
    }
    EXPECT_EQ(Get(r->object), 0u);
    EXPECT_EQ(Get(r->previous), nullptr);
    EXPECT_EQ(Get(r->next), nullptr);
    ++cleared;
  }
  EXPECT_EQ(cleared, 2);

  // Dead or missing objects cannot be registered.
  ReferenceValue dead = Reference(clip_);
  EXPECT_NE(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&dead)), 0);
  EXPECT_NE(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(nullptr)), 0);
}

TEST_F(TreeTest, RebindingFindsTheSameObjectUnderItsNewHandle) {
  IdentityValue identity{};
  ReferenceValue r = Reference(movie_, &identity);
  ASSERT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&r)), 0);
  uint32_t reloaded = host_->ReplaceObject(movie_);
  ASSERT_NE(reloaded, 0u);
  EXPECT_NE(reloaded, movie_);
  EXPECT_EQ(Get(r.object), 0u);
  EXPECT_EQ(host_->PathOf(clip_), "/scene/movie/clip");  // children follow
  EXPECT_EQ(S(svc::kPath, mth::kRebindReference, static_cast<void*>(&r),
              static_cast<const void*>(&identity)),
            0);
  EXPECT_EQ(Get(r.object), reloaded);
  ASSERT_EQ(host_->ChainOf(reloaded).size(), 1u);
  EXPECT_EQ(host_->ChainOf(reloaded)[0], &r);

  // Removed, the identity finds nothing; restored, it finds the object again.
  ASSERT_TRUE(host_->RemoveObject(reloaded));
  EXPECT_EQ(Get(r.object), 0u);
  EXPECT_EQ(S(svc::kPath, mth::kRebindReference, static_cast<void*>(&r),
              static_cast<const void*>(&identity)),
            0);
  EXPECT_EQ(Get(r.object), 0u);
  uint32_t back = host_->RestoreObject(reloaded);
  ASSERT_NE(back, 0u);
  EXPECT_EQ(host_->PathOf(back), "/scene/movie");
  EXPECT_EQ(S(svc::kPath, mth::kRebindReference, static_cast<void*>(&r),
              static_cast<const void*>(&identity)),
            0);
  EXPECT_EQ(Get(r.object), back);
  ReferenceValue* chained = &r;
  if (chained->previous != nullptr) chained->previous->next = chained->next;
  if (chained->next != nullptr) chained->next->previous = chained->previous;
  chained->previous = chained->next = nullptr;
  EXPECT_TRUE(host_->ChainOf(back).empty());
  EXPECT_EQ(host_->RestoreObject(12345), 0u);
}

TEST_F(TreeTest, ObjectAttributesReadOwnValuesParentNameAndComponents) {
  void* object = host_->ServiceObject(svc::kObject);
  auto get = [&](uint32_t handle, const char* name, void* out) {
    char name16[16] = {};
    std::strncpy(name16, name, 16);
    return CallHostMethod(object, 1, mth::kGetObjectAttribute, handle,
                          static_cast<const char*>(name16), static_cast<const void*>(nullptr), out);
  };
  auto set = [&](uint32_t handle, const char* name, const void* in) {
    char name16[16] = {};
    std::strncpy(name16, name, 16);
    return CallHostMethod(object, 1, mth::kSetObjectAttribute, handle,
                          static_cast<const char*>(name16), static_cast<const void*>(nullptr), in);
  };
  ReferenceValue parent = Reference(0);
  EXPECT_EQ(get(clip_, "parent", &parent), 0);
  EXPECT_EQ(Get(parent.object), movie_);
  EXPECT_NE(get(scene_, "parent", &parent), 0);  // a top-level object has none
  testing_support::TextBuffer name(16);
  EXPECT_EQ(get(movie_, "name", name.Value()), 0);
  EXPECT_EQ(name.Text(), "movie");
  EXPECT_EQ(get(movie_, "ClassName", name.Value()), 0);
  EXPECT_EQ(name.Text(), "kov");

  host_->SetObjectValue(movie_, "rate", refhost::Value::Integer(-2));
  IntegerValue rate = testing_support::Integer(0);
  EXPECT_EQ(get(movie_, "RATE", &rate), 0);
  EXPECT_EQ(Get(rate.value), -2);
  // Writing keeps the attribute's type: a real becomes an integer.
  RealValue half = testing_support::Real(3.5);
  EXPECT_EQ(set(movie_, "rate", &half), 0);
  EXPECT_EQ(host_->ObjectValue(movie_, "rate")->AsInteger(), 4);
  EXPECT_NE(set(movie_, "parent", &half), 0);
  EXPECT_NE(get(movie_, "nothing", &rate), 0);
  EXPECT_NE(get(999, "rate", &rate), 0);

  // An indexed attribute answers only its index; others fall back to the plain value.
  ChoiceValue chorus{tag::kChoice, 2, 0}, verse{tag::kChoice, 1, 0}, coda{tag::kChoice, 9, 0};
  RangeValue range{tag::kRange, 100, 250};
  refhost::Value chorusIndex = refhost::Value::Raw(&chorus, sizeof chorus);
  refhost::Value verseIndex = refhost::Value::Raw(&verse, sizeof verse);
  host_->SetObjectValue(movie_, "rangesymbol", refhost::Value::Raw(&range, sizeof range),
                        &chorusIndex);
  host_->SetObjectValue(movie_, "rangesymbol", refhost::Value::Integer(5), &verseIndex);
  auto getIndexed = [&](const void* index, void* out) {
    char name16[16] = "rangesymbol";
    return CallHostMethod(object, 1, mth::kGetObjectAttribute, movie_,
                          static_cast<const char*>(name16), index, out);
  };
  TaggedValue any{tag::kUnassigned};
  RangeValue got{};
  std::memcpy(&got, &any, sizeof any);
  EXPECT_EQ(getIndexed(&chorus, &got), 0);
  EXPECT_EQ(Get(got.tag), tag::kRange);
  EXPECT_EQ(Get(got.end), 250);
  EXPECT_NE(getIndexed(&coda, &got), 0);
  EXPECT_NE(getIndexed(nullptr, &got), 0);

  // Not the object's own: its components are asked, here a probe's "value".
  refhost::Instance* probe = host_->Create("Probe", clip_);
  IntegerValue seven = testing_support::Integer(7);
  EXPECT_EQ(set(clip_, "value", &seven), 0);
  IntegerValue out = testing_support::Integer(0);
  EXPECT_EQ(get(clip_, "value", &out), 0);
  EXPECT_EQ(Get(out.value), 7);
  uint32_t owner = 0;
  std::memcpy(&owner, probe->As<uint8_t>() + 14, 4);
  EXPECT_EQ(owner, clip_);  // Attached read its owner
}

}  // namespace

namespace {

TEST_F(TreeTest, OverwritingAChainedReferenceTakesItOutOfTheChainFirst) {
  ReferenceValue a = Reference(movie_), b = Reference(movie_), c = Reference(movie_);
  for (ReferenceValue* r : {&a, &b, &c}) {
    ASSERT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(r)), 0);
  }
  // CopyValue of an integer over the middle one.
  IntegerValue number = testing_support::Integer(4);
  ASSERT_EQ(
      S(svc::kObject, mth::kCopyValue, static_cast<void*>(&b), static_cast<const void*>(&number)),
      0);
  ASSERT_EQ(host_->ChainOf(movie_).size(), 2u);
  // ConvertValue of another object into a chained reference: it leaves the movie's chain.
  ReferenceValue toClip = Reference(clip_);
  ASSERT_EQ(S(svc::kConvert, mth::kConvertValue, static_cast<void*>(nullptr),
              static_cast<const void*>(&toClip), static_cast<void*>(&c)),
            0);
  EXPECT_EQ(Get(c.object), clip_);
  ASSERT_EQ(host_->ChainOf(movie_).size(), 1u);
  EXPECT_EQ(host_->ChainOf(movie_)[0], &a);
  // Releasing the last one empties the chain; the object's removal then touches nothing.
  ASSERT_EQ(S(svc::kObject, mth::kReleaseValue, static_cast<void*>(&a)), 0);
  EXPECT_TRUE(host_->ChainOf(movie_).empty());
  EXPECT_EQ(Get(a.tag), tag::kEmpty);
  host_->RemoveObject(movie_);
}

}  // namespace

namespace {

// A path step is one lookup, so a tree of any depth is written, resolved, stored, read back
// and removed in time proportional to its depth (it used to grow with depth times the number
// of objects, and paths past 10 000 levels came out empty).
TEST_F(TreeTest, DeepTreesAreWalkedInTimeProportionalToTheirDepth) {
  constexpr int kDepth = 60000;
  const auto start = std::chrono::steady_clock::now();
  uint32_t leaf = clip_;
  for (int i = 0; i < kDepth; ++i) leaf = host_->AddObject(leaf, i % 2 ? "a" : "bb");
  const std::string path = host_->PathOf(leaf);
  ASSERT_EQ(path.size(), 17 + kDepth / 2 * 5u);
  EXPECT_EQ(host_->Resolve(path), leaf);
  // A sibling of the same name added later does not take the older one's place.
  host_->AddObject(host_->ParentOf(leaf), host_->NameOf(leaf));
  EXPECT_EQ(host_->Resolve(path), leaf);
  // The stored form of a path, through a stream, finds the same object again.
  refhost::HostStream& stream = host_->NewStream();
  ASSERT_TRUE(stream.Write(refhost::Value::Reference(leaf)));
  refhost::Value back;
  ASSERT_TRUE(stream.Read(&back));
  EXPECT_EQ(back.object, leaf);
  EXPECT_TRUE(host_->RemoveObject(scene_));
  EXPECT_FALSE(host_->Exists(leaf));
  EXPECT_EQ(host_->Resolve(path), 0u);
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Milliseconds natively; the old lookups took minutes here.
  EXPECT_LT(seconds, 30.0);
}

}  // namespace
