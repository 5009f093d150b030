// SPDX-License-Identifier: GPL-3.0-or-later
// The hold timer's quiet ticks (between two keep-alives) run late, just
// before the next tick: the unit sees the same frames at the same ticks.

#include "link/LinkHarness.h"

#include <functional>
#include <type_traits>
#include <utility>

namespace tr640::testing {
namespace {

// Holds a late tick as a real timer would: it runs at the next expiry, or
// when the link catches up after the skipped tick's time.
class LateTickTimer : public FakeTimer {
public:
    std::function<void()> late;
    bool duePassed = false;
    bool RunNextTickLate(std::function<void()> tick) override {
        if (!active || late) return false;
        late = std::move(tick);
        return true;
    }
    void CatchUp() override {
        if (!late) return;
        const std::function<void()> tick = std::exchange(late, nullptr);
        if (duePassed) tick();
    }
    void Stop() override {
        FakeTimer::Stop();
        late = nullptr;
    }
};

using Write = VirtualTr640::WriteRecord;
using Timeline = std::vector<std::pair<int, Write>>;  // (40 ms step, write)

// One linked link whose hold timer either ticks every step or sleeps
// through the quiet ticks; `Step` plays one 40 ms step and says whether
// the program woke.
template <typename HoldTimer>
struct Rig {
    ParamStore store;
    VirtualTr640 device;
    VirtualTransport transport{device};
    FrameSender sender{transport, [] { return TimeOfDay{10, 20, 30, 400}; }};
    RecordingView view;
    FakeTimer connect, transfer;
    HoldTimer hold;
    Link link{store, sender, view, {connect, transfer, hold}};
    Timeline timeline;
    bool sleptLast = false;

    Rig() {
        transport.SetReplyHandler([this](const std::vector<std::uint8_t>& r) { link.OnReply(r); });
        link.DevicePresent();
        Pump();
        link.Timer1Timer();
        for (int i = 0; i < 100 && transfer.active; ++i) {
            Pump();
            link.Timer2Timer();
        }
        Pump();
        device.ClearWriteLog();
    }
    void Pump() {
        device.Tick();
        transport.DeliverReplies();
    }
    bool Step(int step) {
        const std::size_t before = device.WriteLog().size();
        bool woke = hold.active;
        if constexpr (std::is_same_v<HoldTimer, LateTickTimer>) {
            // The skipped tick's time passes in sleep; the next expiry runs it first.
            if (hold.late && !sleptLast) {
                sleptLast = hold.duePassed = true;
                woke = false;
            } else {
                sleptLast = hold.duePassed = false;
                if (hold.late) std::exchange(hold.late, nullptr)();
                if (hold.active) link.HoldTimerTimer();
            }
        } else if (hold.active) {
            link.HoldTimerTimer();
        }
        Pump();
        for (std::size_t i = before; i < device.WriteLog().size(); ++i) timeline.emplace_back(step, device.WriteLog()[i]);
        return woke;
    }
    void Change(int step, int address, std::int32_t value) {
        const std::size_t before = device.WriteLog().size();
        link.SendParameter(address, value);
        sleptLast = false;  // caught up: back to the pace
        if constexpr (std::is_same_v<HoldTimer, LateTickTimer>) hold.duePassed = false;
        Pump();
        for (std::size_t i = before; i < device.WriteLog().size(); ++i) timeline.emplace_back(step, device.WriteLog()[i]);
    }
};

TEST(HoldLateTickTest, IdleLinkWakesOncePerKeepAliveAndSendsTheSameFramesAtTheSameTicks) {
    Rig<FakeTimer> plain;
    Rig<LateTickTimer> late;
    int wakes = 0;
    for (int step = 0; step < 200; ++step) {
        plain.Step(step);
        wakes += late.Step(step);
        if (step == 41 || step == 90 || step == 91) {  // changes between two ticks, either side of a quiet one
            plain.Change(step, 0x010E, 140 + step);
            late.Change(step, 0x010E, 140 + step);
            plain.Change(step, 0x010D, 900 + step);
            late.Change(step, 0x010D, 900 + step);
        }
        if (step == 130) {
            plain.device.SetSilent(true);
            late.device.SetSilent(true);
        }
    }
    EXPECT_EQ(late.timeline, plain.timeline);
    EXPECT_EQ(late.link.Vars().linkState, plain.link.Vars().linkState);
    EXPECT_EQ(late.view.Boxes(), plain.view.Boxes());  // the silent unit is lost alike
    EXPECT_FALSE(plain.view.Boxes().empty());
    EXPECT_LT(wakes, 140);  // a plain timer wakes at each of the first 150 or so steps
}

TEST(HoldLateTickTest, OnlyQuietTicksRunLate) {
    Rig<LateTickTimer> rig;
    for (int i = 0; i < 2 && !rig.hold.late; ++i) {
        rig.link.HoldTimerTimer();
        rig.Pump();
    }
    ASSERT_TRUE(rig.hold.late);  // after a keep-alive the next tick only counts
    EXPECT_EQ(rig.link.Vars().holdTicks, 0);

    rig.link.SendParameter(0x010E, 150);  // goes out at once
    rig.link.SendParameter(0x010D, 900);  // waits for its acknowledgement
    EXPECT_FALSE(rig.hold.late);  // the change caught the timer up
    rig.link.HoldTimerTimer();
    EXPECT_FALSE(rig.hold.late);  // while a change waits every tick counts
}

}  // namespace
}  // namespace tr640::testing
