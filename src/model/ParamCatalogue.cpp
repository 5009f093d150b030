// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ParamCatalogue.h"

#include "model/CompressorCurve.h"
#include "model/ValueKinds.h"

#include <map>
#include <string>

namespace tr640 {

namespace {

// Shelves, pass filters and any bypassed band stop at Q "1.30".
constexpr int kQLimitOtherTypes = 30;

std::vector<ParamItem> NumberedItems(int first, int last, const std::string& windowText) {
    std::vector<ParamItem> items;
    for (int n = first; n <= last; ++n) items.push_back({std::to_string(n), windowText, n});
    return items;
}

std::vector<ParamItem> BandTypeItems(int bandNumber) {
    return {{"parametric", "参量%1", bandNumber},
            {"lowshelf", "低棚架", 0},
            {"highshelf", "高棚架", 0},
            {"highpass", "高通", 0},
            {"lowpass", "低通", 0}};
}

ParamEntry KindEntry(std::string name, ParamAddress address, int kind, int min, int max, std::string description,
                     std::string valueControl, std::string companion = {}) {
    ParamEntry e;
    e.name = std::move(name);
    e.address = address;
    e.format = ParamFormat::Kind;
    e.kind = kind;
    e.min = min;
    e.max = max;
    e.description = std::move(description);
    e.valueControl = std::move(valueControl);
    e.companionControl = std::move(companion);
    return e;
}

ParamEntry ListEntry(std::string name, ParamAddress address, ParamFormat format, std::vector<ParamItem> items,
                     std::string description, std::string valueControl) {
    ParamEntry e;
    e.name = std::move(name);
    e.address = address;
    e.format = format;
    e.min = 0;
    e.max = static_cast<int>(items.size()) - 1;
    e.items = std::move(items);
    e.description = std::move(description);
    e.valueControl = std::move(valueControl);
    return e;
}

void AddSystemPage(std::vector<ParamEntry>& out) {
    out.push_back(ListEntry("noisegate", kAddrNoiseGate, ParamFormat::List, NumberedItems(1, 9, "%1级"),
                            "microphone noise gate level", "SysNoiseBox"));
    out.push_back(ListEntry("feedback", kAddrAntiFeedback, ParamFormat::List,
                            [] {
                                std::vector<ParamItem> items = NumberedItems(1, 3, "%1级");
                                items.insert(items.begin(), {"off", "OFF", 0});
                                return items;
                            }(),
                            "anti-feedback level", "SysFBEBox"));
    out.push_back(ListEntry("mode.recall", kAddrModeRecall, ParamFormat::Command, NumberedItems(1, 5, "用户%1"),
                            "recall user mode N (tr640ctl mode recall N)", "SysModeBox"));
    out.push_back(ListEntry("mode.save", kAddrModeSave, ParamFormat::Command, NumberedItems(1, 5, "用户%1"),
                            "save the settings as user mode N (tr640ctl mode save N)", "SysSaveModeBox"));
    out.push_back(KindEntry("output.volume", kAddrMasterVolume, kKindPercent, 0, 200, "output master volume",
                            "SysTotalVolEdit", "SysTotalVolBar"));
}

void AddBands(std::vector<ParamEntry>& out, int mic) {
    const std::string m = "mic" + std::to_string(mic + 1);
    const std::string control = "Mic" + std::to_string(mic + 1);
    for (int band = 0; band < kBandsPerMic; ++band) {
        const std::string n = std::to_string(band + 1);
        const std::string prefix = m + ".eq" + n + ".";
        const std::string what = "microphone " + std::to_string(mic + 1) + " band " + n + " ";

        ParamEntry type = ListEntry(prefix + "type", BandAddress(mic, band, kSlotType), ParamFormat::BandType,
                                    BandTypeItems(band + 1), what + "filter type", control + "ModeBox" + n);
        out.push_back(type);
        ParamEntry bypass = ListEntry(prefix + "bypass", BandAddress(mic, band, kSlotType), ParamFormat::Bypass,
                                      {{"off", "", 0}, {"on", "", 0}}, what + "bypass", {});
        bypass.companionControl = control + "BypassCheck" + n;
        out.push_back(bypass);
        out.push_back(KindEntry(prefix + "freq", BandAddress(mic, band, kSlotFrequency), kKindBandFrequency, 20,
                                20000, what + "frequency", control + "FreEdit" + n));
        out.push_back(KindEntry(prefix + "gain", BandAddress(mic, band, kSlotGain), kKindBandGain, 0, 210,
                                what + "gain", control + "GainEdit" + n, control + "GainBar" + n));
        // One Q field stands for both slots: the band uses the first while
        // its type value is exactly 0 (parametric, not bypassed).
        out.push_back(KindEntry(prefix + "q", BandAddress(mic, band, kSlotQ), kKindBandQ, 0, kQTableLast,
                                what + "Q while parametric and not bypassed", control + "QEdit" + n));
        out.push_back(KindEntry(prefix + "q.other", BandAddress(mic, band, kSlotQOther), kKindBandQ, 0,
                                kQLimitOtherTypes, what + "Q of the other types and while bypassed",
                                control + "QEdit" + n));
    }
}

void AddMicrophones(std::vector<ParamEntry>& out) {
    const std::vector<ParamItem> phases = {{"normal", "正向"}, {"inverted", "反向"}};
    out.push_back(KindEntry("mic1.volume", kAddrMic1InputVolume, kKindPercent, 0, 200, "microphone 1 input volume",
                            "Mic1INGainEdit", "Mic1INGainBar"));
    out.push_back(ListEntry("mic1.phase", kAddrMic1Phase, ParamFormat::List, phases, "microphone 1 phase",
                            "Mic1PhaseBox"));
    out.push_back(KindEntry("mic2.volume", kAddrMic2InputVolume, kKindPercent, 0, 200, "microphone 2 input volume",
                            "Mic2INGainEdit", "Mic2INGainBar"));
    out.push_back(ListEntry("mic2.phase", kAddrMic2Phase, ParamFormat::List, phases, "microphone 2 phase",
                            "Mic2PhaseBox"));
    out.push_back(ListEntry("powerex", kAddrPowerEx, ParamFormat::List, NumberedItems(1, 5, "%1"),
                            "microphone PowerEx level", "MICBASSBox"));
}

void AddDynamics(std::vector<ParamEntry>& out) {
    out.push_back(KindEntry("dynamics.crossover.low", kAddrLowCrossover, kKindCrossover, 80, 200,
                            "crossover between the low and the middle dynamics band", "MICLowFreEdit"));
    out.push_back(KindEntry("dynamics.crossover.high", kAddrHighCrossover, kKindCrossover, 200, 12000,
                            "crossover between the middle and the high dynamics band", "MICHighFreEdit"));
    const char* bands[kCompressorBands] = {"low", "mid", "high"};
    const char* controls[kCompressorBands] = {"Low", "Mid", "High"};
    for (int k = 0; k < kCompressorBands; ++k) {
        const std::string prefix = std::string("dynamics.") + bands[k] + ".";
        const std::string what = std::string(bands[k]) + " dynamics band ";
        const std::string c = controls[k];
        out.push_back(KindEntry(prefix + "attack", DynamicsAttackAddress(k), kKindTime, 0, 200, what + "attack",
                                c + "RMSattackEdit"));
        out.push_back(KindEntry(prefix + "hold", DynamicsHoldAddress(k), kKindTime, 0, 200, what + "hold",
                                c + "RMSHoldEdit"));
        out.push_back(KindEntry(prefix + "release", DynamicsReleaseAddress(k), kKindRelease, 1, 16,
                                what + "release", c + "RMSReleaseEdit"));
        for (int p = 0; p < kCompressorPoints; ++p) {
            ParamEntry e;
            e.name = prefix + "curve.p" + std::to_string(p + 1);
            e.address = CompressorPointAddress(k, p);
            e.format = ParamFormat::CurvePoint;
            e.min = EncodeCompressorPoint(static_cast<int>(kCompressorInputMin),
                                          static_cast<int>(kCompressorOutputMin));
            e.max = EncodeCompressorPoint(static_cast<int>(kCompressorInputMax),
                                          static_cast<int>(kCompressorOutputMax));
            e.description = what + "compressor curve point " + std::to_string(p + 1) + " (input:output dB)";
            out.push_back(std::move(e));
        }
    }
}

std::vector<ParamEntry> MakeCatalogue() {
    std::vector<ParamEntry> out;
    AddSystemPage(out);
    AddBands(out, 0);
    AddBands(out, 1);
    AddMicrophones(out);
    AddDynamics(out);
    return out;
}

}  // namespace

const std::vector<ParamEntry>& ParamCatalogue() {
    static const std::vector<ParamEntry> catalogue = MakeCatalogue();
    return catalogue;
}

const ParamEntry* FindParam(std::string_view name) {
    for (const ParamEntry& e : ParamCatalogue())
        if (e.name == name) return &e;
    return nullptr;
}

const ParamEntry* FindFieldParam(ParamAddress address) {
    // Every refresh looks up each field, so the entries are indexed once.
    static const std::map<ParamAddress, const ParamEntry*> fields = [] {
        std::map<ParamAddress, const ParamEntry*> out;
        for (const ParamEntry& e : ParamCatalogue())
            if (e.format == ParamFormat::Kind) out.emplace(e.address, &e);
        return out;
    }();
    const auto it = fields.find(address);
    return it == fields.end() ? nullptr : it->second;
}

const ParamEntry* FindParamOfControl(std::string_view control) {
    for (const ParamEntry& e : ParamCatalogue())
        if (e.valueControl == control || e.companionControl == control) return &e;
    return nullptr;
}

std::string WindowItemText(const ParamItem& item) {
    std::string text = item.windowText;
    const std::size_t at = text.find("%1");
    if (at != std::string::npos) text.replace(at, 2, std::to_string(item.number));
    return text;
}

}  // namespace tr640
