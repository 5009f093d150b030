// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/FrameSender.h"
#include "link/Link.h"
#include "model/ParamStore.h"
#include "virtualdevice/VirtualTransport.h"
#include "virtualdevice/VirtualTr640.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tr640::testing {

// A timer the test drives: it only remembers whether it runs.
class FakeTimer : public LinkTimer {
public:
    bool active = false;
    int starts = 0;
    void Start() override {
        active = true;
        ++starts;
    }
    void Stop() override { active = false; }
    bool IsActive() const override { return active; }
};

// Stands in for the windows: records what the link reports.
class RecordingView : public LinkView {
public:
    // What the link label would show: the last status that changes it
    // (NoUnit while it still shows its first text).
    LinkStatus label = LinkStatus::NoUnit;
    std::vector<LinkStatus> statuses;
    LinkColour colour = LinkColour::Grey;
    bool statusShown = false;
    std::vector<int> statusPercents;
    std::vector<LinkStatus> statusLabels;  // the label at each progress shown
    int hiddenPercent = -1;
    std::vector<LinkOutcome> outcomes;
    std::vector<std::string> traffic;
    int refreshes = 0;
    int firstBandSelections = 0;
    ParamStore* store = nullptr;

    // The outcomes a front end shows a box for.
    std::vector<LinkOutcome> Boxes() const {
        std::vector<LinkOutcome> out;
        for (LinkOutcome o : outcomes)
            if (o != LinkOutcome::Connected && o != LinkOutcome::PageOneRead && o != LinkOutcome::PageOneWritten)
                out.push_back(o);
        return out;
    }

    void ShowStatus(LinkStatus s) override {
        statuses.push_back(s);
        if (s != LinkStatus::NoUnit && s != LinkStatus::Connecting) label = s;
    }
    void SetLinkLabelColour(LinkColour c) override { colour = c; }
    void ShowProgress(int percent) override {
        statusShown = true;
        statusLabels.push_back(label);
        statusPercents.push_back(percent);
    }
    void HideProgress(int percent) override {
        statusShown = false;
        hiddenPercent = percent;
    }
    void Report(LinkOutcome outcome) override { outcomes.push_back(outcome); }
    void LogTraffic(const std::string& line) override { traffic.push_back(line); }
    void RefreshAll() override {
        ++refreshes;
        if (store) store->CopyDeviceToShown();
    }
    void SelectFirstBandField() override { ++firstBandSelections; }
};

// The link wired to a virtual TR640, with every timer driven by hand.
class LinkFixture : public ::testing::Test {
protected:
    LinkFixture() {
        view.store = &store;
        transport.SetReplyHandler([this](const std::vector<std::uint8_t>& r) { link.OnReply(r); });
    }

    // Lets the device's answers reach the link, as the event loop would
    // between two timer ticks.
    void Pump() {
        device.Tick();
        transport.DeliverReplies();
    }
    void TickConnect() {
        Pump();
        if (connectTimer.active) link.Timer1Timer();
        Pump();
    }
    void TickTransfer() {
        Pump();
        if (transferTimer.active) link.Timer2Timer();
        Pump();
    }
    void TickHold() {
        Pump();
        if (holdTimer.active) link.HoldTimerTimer();
        Pump();
    }
    // Runs transfer ticks until the transfer timer stops (or a bound is hit).
    int RunTransfer(int maxTicks = 500) {
        int ticks = 0;
        while (transferTimer.active && ticks < maxTicks) {
            TickTransfer();
            ++ticks;
        }
        return ticks;
    }
    // Device found and linked: presence, key, connect read, idle.
    void Connect() {
        link.DevicePresent();
        TickConnect();
        RunTransfer();
        ASSERT_TRUE(link.Linked());
    }

    // Read requests and control codes as the device saw them, unscrambled.
    std::vector<std::uint16_t> ReadRequests() const {
        std::vector<std::uint16_t> out;
        for (const auto& w : transport.Written()) {
            if (w[0] != proto::kDataReportId) continue;
            FrameBuffer f{};
            std::copy(w.begin(), w.end(), f.begin());
            ScrambleFrame(f, sender.Key());
            if (f[3] == proto::kCmdRead) out.push_back(static_cast<std::uint16_t>(f[6] * 256 + f[7]));
        }
        return out;
    }

    int keyFrames() const {
        int n = 0;
        for (const auto& w : transport.Written()) n += w[0] == proto::kKeyReportId;
        return n;
    }

    ParamStore store;
    VirtualTr640 device;
    VirtualTransport transport{device};
    FrameSender sender{transport, [] { return TimeOfDay{10, 20, 30, 400}; }};
    RecordingView view;
    FakeTimer connectTimer, transferTimer, holdTimer;
    Link link{store, sender, view, {connectTimer, transferTimer, holdTimer}};
};

}  // namespace tr640::testing
