// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/BandSlot.h"
#include "model/ControlMap.h"
#include "model/ParamStore.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace tr640 {
namespace {

TEST(ParamStore, ImagesHaveTheirOwnWidthsAndIgnoreOutOfBoundsAccess) {
    ParamStore store;
    EXPECT_TRUE(store.SetShown(1, 85, 7));
    EXPECT_FALSE(store.SetShown(1, 86, 7));
    EXPECT_TRUE(store.SetDevice(1, 112, 9));
    EXPECT_FALSE(store.SetDevice(1, 113, 9));
    EXPECT_FALSE(store.SetDevice(3, 0, 9));
    EXPECT_FALSE(store.SetDevice(-1, 0, 9));
    EXPECT_EQ(store.Shown(1, 85), 7);
    EXPECT_EQ(store.Device(1, 112), 9);
    EXPECT_EQ(store.Device(5, 300), 0);
    EXPECT_EQ(store.Shown(-1, -1), 0);

    store.SetBoth(0x0108, -42);
    EXPECT_EQ(store.Shown(0x0108), -42);
    EXPECT_EQ(store.Device(0x0108), -42);
}

TEST(ParamStore, CopyDeviceToShownCoversExactlyThePageTable) {
    ParamStore store;
    for (int page = 0; page < ParamStore::kPages; ++page)
        for (int index = 0; index < ParamStore::kShownWidth; ++index) store.SetDevice(page, index, 1000 + index);

    store.CopyDeviceToShown();

    EXPECT_EQ(store.Shown(0x0100), 1000);  // no control, still copied
    EXPECT_EQ(store.Shown(0x0101), 1001);
    EXPECT_EQ(store.Shown(0, 14), 1014);
    EXPECT_EQ(store.Shown(0, 15), 0);  // page 0 stops at index 14
    EXPECT_EQ(store.Shown(1, 82), 1082);
    EXPECT_EQ(store.Shown(1, 83), 0);
    EXPECT_EQ(store.Shown(2, 0), 0);
}

TEST(BandSlot, ResolvesEqAddressesForTheActiveMicrophoneOnly) {
    // Microphone 1 active: its bands and (by wrap-around) microphone 2's.
    EXPECT_EQ(BandSlot(0x0102, 0), (BandSlotRef{0, 0}));
    EXPECT_EQ(BandSlot(0x010E, 0), (BandSlotRef{2, 2}));
    EXPECT_EQ(BandSlot(0x011B, 0), (BandSlotRef{0, 0}));
    EXPECT_EQ(BandSlot(0x0133, 0), (BandSlotRef{4, 4}));
    // Microphone 2 active: microphone 1's bands resolve to none.
    EXPECT_EQ(BandSlot(0x011B, 1), (BandSlotRef{0, 0}));
    EXPECT_EQ(BandSlot(0x0102, 1), std::nullopt);
    EXPECT_EQ(BandSlot(0x011A, 1), std::nullopt);

    for (int mic = 0; mic < 2; ++mic) {
        for (int index = 0; index < 86; ++index) EXPECT_EQ(BandSlot(MakeAddress(0, index), mic), std::nullopt);
        for (int index = 52; index <= 82; ++index) EXPECT_EQ(BandSlot(MakeAddress(1, index), mic), std::nullopt);
        EXPECT_EQ(BandSlot(0x0100, mic), std::nullopt);
        EXPECT_EQ(BandSlot(0x0101, mic), std::nullopt);
    }
}

TEST(EffectiveAddress, QFieldStandsForSlotThreeOnlyWhileTheTypeValueIsZero) {
    ParamStore store;
    const int qTag = BandAddress(0, 1, kSlotQOther);  // the Q field's tag: its slot 4 address
    store.SetShown(BandAddress(0, 1, kSlotType), 0);
    EXPECT_EQ(EffectiveAddress(qTag, 0, store), BandAddress(0, 1, kSlotQ));
    store.SetShown(BandAddress(0, 1, kSlotType), 10);  // bypassed parametric band
    EXPECT_EQ(EffectiveAddress(qTag, 0, store), BandAddress(0, 1, kSlotQOther));
    store.SetShown(BandAddress(0, 1, kSlotType), 3);
    EXPECT_EQ(EffectiveAddress(qTag, 0, store), BandAddress(0, 1, kSlotQOther));

    // Everything else stands for its own tag.
    EXPECT_EQ(EffectiveAddress(0x013C, 0, store), 0x013C);
    EXPECT_EQ(EffectiveAddress(0x014B, 1, store), 0x014B);
    EXPECT_EQ(EffectiveAddress(BandAddress(0, 1, kSlotGain), 0, store), BandAddress(0, 1, kSlotGain));
    // Microphone 1's Q tag while microphone 2 is shown is not a band address.
    EXPECT_EQ(EffectiveAddress(qTag, 1, store), qTag);
}

struct FakeControl {
    std::string name;
    int tag = -1;
};

class ControlMapTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (const ControlPlacement& p : ControlPlacements()) {
            controls.try_emplace(p.valueControl, FakeControl{p.valueControl});
            if (!p.companionControl.empty()) controls.try_emplace(p.companionControl, FakeControl{p.companionControl});
        }
        BuildControlMap<FakeControl>(
            map, store, [this](const std::string& n) { return &controls.at(n); },
            [](FakeControl* c, int tag) { c->tag = tag; });
    }
    std::map<std::string, FakeControl> controls;
    ControlMapOf<FakeControl> map;
    ParamStore store;
};

TEST_F(ControlMapTest, PlacesEveryControlAndStampsTags) {
    EXPECT_EQ(controls.size(), 84u);  // 44 entry fields, 17 list boxes, 13 track bars, 10 bypass boxes
    EXPECT_EQ(map.Value(0x0103)->name, "Mic1FreEdit1");
    EXPECT_EQ(map.Value(0x0130)->name, "Mic2FreEdit5");
    EXPECT_EQ(map.Companion(0x0102)->name, "Mic1BypassCheck1");
    EXPECT_EQ(map.Companion(0x000E)->name, "SysTotalVolBar");
    EXPECT_EQ(map.Value(0x0100), nullptr);
    EXPECT_EQ(map.Value(0x013E), nullptr);  // compressor points live in their own window
    EXPECT_EQ(map.Value(0x0105), map.Value(0x0106));  // the Q field stands at both Q slots
    EXPECT_EQ(controls.at("Mic1QEdit1").tag, 0x0106);  // and keeps the later address
    EXPECT_EQ(controls.at("Mic2GainBar3").tag, 0x0127);
    EXPECT_EQ(controls.at("HighRMSReleaseEdit").tag, 0x014D);
    EXPECT_EQ(controls.at("SysNoiseBox").tag, 0x0008);
}

TEST_F(ControlMapTest, SetsTheDeviceImageToOneSoTheImagesDifferUntilTheFirstRefresh) {
    for (int page = 0; page <= kLastPage; ++page) {
        for (int index = 0; index < kPageCount[page]; ++index) {
            EXPECT_EQ(store.Device(page, index), 1);
            EXPECT_NE(store.Shown(page, index), store.Device(page, index));
        }
    }
    EXPECT_EQ(store.Device(0, 15), 0);
    EXPECT_EQ(store.Device(1, 83), 0);
}

}  // namespace
}  // namespace tr640
