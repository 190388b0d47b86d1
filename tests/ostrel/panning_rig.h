// What the panning tests share: a stage of 640 x 480 at (0, 0), an owner on it with "pan",
// "position", "size", "globaloffset" and a "scene" reference, and ways to edit, start, stop and
// read an instance as the host does.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "host/series.h"
#include "ostrel/panning.h"
#include "tests/common/plugin_fixture.h"

class PanningTest : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    if (ostrel_.classes.empty()) GTEST_SKIP() << "ostrel not built";
    stage_ = host_->AddObject(0, "stage");
    owner_ = host_->AddObject(stage_, "band");
    host_->SetObjectValue(stage_, "position", refhost::Value::Point(0, 0));
    host_->SetObjectValue(stage_, "size", refhost::Value::Point(640, 480));
    host_->SetObjectValue(owner_, "scene", refhost::Value::Reference(stage_));
    host_->SetObjectValue(owner_, "pan", refhost::Value::Integer(0));
    Place(300, 40);
    host_->SetObjectValue(owner_, "size", refhost::Value::Point(40, 40));
    host_->SetObjectValue(owner_, "globaloffset", refhost::Value::Point(0, 0));
  }

  refhost::Instance* Make() {
    refhost::Instance* instance = host_->Create("panning", owner_);
    EXPECT_NE(instance, nullptr);
    return instance;
  }
  static ostrel::PanningRecord Record(const refhost::Instance* instance) {
    ostrel::PanningRecord record;
    std::memcpy(&record, instance->Record(), sizeof record);
    return record;
  }
  static int32_t Flags(const refhost::Instance* instance) {
    return Record(instance).modeFlags.value;
  }

  // FromEditor with the items an author sets: fixed mode with a target and a duration in
  // ticks, or follow mode.
  uint16_t EditFixed(refhost::Instance* instance, int32_t target, uint32_t ticks) {
    refhost::HostEditor& editor = host_->NewEditor();
    instance->ToEditor(editor);
    editor.SetItem(ostrel::kPanFollowItem, refhost::Value::Integer(0));
    editor.SetItem(ostrel::kPanTargetItem, refhost::Value::Integer(target));
    editor.SetItem(ostrel::kPanDurationItem, refhost::Value::Duration(ticks, 1, 600));
    return instance->FromEditor(editor);
  }
  uint16_t EditFollow(refhost::Instance* instance) {
    refhost::HostEditor& editor = host_->NewEditor();
    instance->ToEditor(editor);
    editor.SetItem(ostrel::kPanFollowItem, refhost::Value::Integer(2));
    return instance->FromEditor(editor);
  }

  uint16_t Start(refhost::Instance* instance) {
    return instance->HandleMessage(owner_, ostrel::kPanStartDefault, 0);
  }
  uint16_t Stop(refhost::Instance* instance) {
    return instance->HandleMessage(owner_, ostrel::kPanStopDefault, 0);
  }

  void Place(int16_t x, int16_t y) {
    host_->SetObjectValue(owner_, "position", refhost::Value::Point(x, y));
  }
  int32_t Pan() const { return host_->ObjectValue(owner_, "pan")->AsInteger(); }
  // Every "pan" the owner took from the plug-in, in order.
  std::vector<int32_t> PanSeries() const {
    std::vector<int32_t> values;
    for (const refhost::Series& series : refhost::IntegerSeries(*host_, "pan")) {
      if (series.object != owner_) continue;
      for (const refhost::SeriesPoint& point : series.points) values.push_back(point.value);
    }
    return values;
  }

  // Runs the clock for `calls` periodic intervals of 1/60 second.
  void RunPeriodicCalls(int calls) { host_->Advance(static_cast<uint32_t>(calls) * 50 / 3 + 1); }

  uint32_t stage_ = 0, owner_ = 0;
};
