// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ParamText.h"
#include "model/CompressorCurve.h"
#include "model/ControlMap.h"
#include "model/ValueKinds.h"

#include <gtest/gtest.h>

#include <set>

namespace tr640::testing {
namespace {

std::int32_t Raw(const char* name, const char* text, std::int32_t current = 0) {
    const ParsedValue v = ParseParamValue(*FindParam(name), text, current);
    EXPECT_TRUE(v.ok) << name << "=" << text << ": " << v.error;
    return v.raw;
}

bool Refused(const char* name, const char* text) { return !ParseParamValue(*FindParam(name), text, 0).ok; }

TEST(ParamText, TypedFormsBecomeTheRawValuesTheEntryFieldsWouldStore) {
    EXPECT_EQ(Raw("mic1.eq3.gain", "-3.5dB"), 132);  // nearest(132.5), halves to even
    EXPECT_EQ(Raw("mic1.eq3.gain", "-3.5"), 132);
    EXPECT_EQ(Raw("mic1.eq1.freq", "1.2kHz"), 1200);
    EXPECT_EQ(Raw("mic1.eq1.freq", "1000.9"), 1000);  // frequencies truncate
    EXPECT_EQ(Raw("mic1.eq1.q", "4.1"), 50);          // next table entry at or above
    EXPECT_EQ(Raw("output.volume", "80%"), 80);
    EXPECT_EQ(Raw("dynamics.mid.release", "Atk x 9"), 4);
    EXPECT_EQ(Raw("dynamics.mid.attack", "20ms"), 20);
    EXPECT_EQ(Raw("mic1.phase", "inverted"), 1);
    EXPECT_EQ(Raw("mic1.phase", "反向"), 1);
    EXPECT_EQ(Raw("noisegate", "4级"), 3);
    EXPECT_EQ(Raw("feedback", "OFF"), 0);
    EXPECT_EQ(Raw("dynamics.high.curve.p2", "-40:-20"), EncodeCompressorPoint(-40, -20));
}

TEST(ParamText, TypeAndBypassShareTheirSlotAndKeepEachOthersPart) {
    EXPECT_EQ(Raw("mic2.eq1.type", "高通", 10), 13);
    EXPECT_EQ(Raw("mic2.eq1.type", "lowshelf", 4), 1);
    EXPECT_EQ(Raw("mic2.eq1.bypass", "on", 3), 13);
    EXPECT_EQ(Raw("mic2.eq1.bypass", "off", 13), 3);
}

TEST(ParamText, OutOfRangeAndGarbageAreRefusedNotClamped) {
    EXPECT_TRUE(Refused("mic1.eq3.gain", "20dB"));
    EXPECT_TRUE(Refused("mic1.eq1.freq", "25000"));
    EXPECT_TRUE(Refused("mic1.eq1.q.other", "4.1"));  // other types stop at 1.30
    EXPECT_TRUE(Refused("mic1.eq1.q", "500"));
    EXPECT_TRUE(Refused("dynamics.crossover.low", "50"));
    EXPECT_TRUE(Refused("dynamics.high.curve.p2", "-40:0"));  // more than 36 dB of lift
    EXPECT_TRUE(Refused("output.volume", "nan"));
    EXPECT_TRUE(Refused("output.volume", "1e3"));
    EXPECT_TRUE(Refused("mic1.eq1.type", "bandpass"));
    EXPECT_TRUE(Refused("mic1.eq1.bypass", "maybe"));
    const ParsedValue v = ParseParamValue(*FindParam("mic1.eq3.gain"), "20dB", 0);
    EXPECT_NE(v.error.find("-30.0dB .. 12.0dB"), std::string::npos) << v.error;
}

AppliedChange Applied(const char* text, std::int32_t current) {
    ParamChange c;
    EXPECT_TRUE(ParseParamChange(text, c)) << text;
    return ApplyParamChange(*FindParam(c.name), c, current);
}

TEST(ParamText, StepsMoveTheShownNumberAndStopAtTheLimitsTogglesFlipTwoValues) {
    const ParamEntry& gain = *FindParam("mic1.eq3.gain");
    EXPECT_EQ(Applied("mic1.eq3.gain-=1.5dB", Raw("mic1.eq3.gain", "0dB")).raw, Raw("mic1.eq3.gain", "-1.6dB"));
    EXPECT_EQ(Applied("mic1.eq3.gain-=1.5dB", 150).aimed, "-1.5");
    const AppliedChange top = Applied("mic1.eq3.gain+=5", Raw("mic1.eq3.gain", "10dB"));
    EXPECT_TRUE(top.ok && top.clamped);
    EXPECT_EQ(top.raw, gain.max);
    const AppliedChange bottom = Applied("output.volume-=50", 20);
    EXPECT_TRUE(bottom.ok && bottom.clamped);
    EXPECT_EQ(bottom.raw, FindParam("output.volume")->min);
    EXPECT_FALSE(Applied("mic1.volume+=5", 40).clamped);
    EXPECT_EQ(Applied("mic1.volume+=5", 40).raw, 45);

    EXPECT_EQ(Applied("mic1.phase=toggle", 0).raw, 1);
    EXPECT_EQ(Applied("mic1.phase=TOGGLE", 1).raw, 0);
    EXPECT_EQ(Applied("mic2.eq1.bypass=toggle", 3).raw, 13);  // the type's part kept
    EXPECT_EQ(Applied("mic2.eq1.bypass=toggle", 13).raw, 3);

    EXPECT_FALSE(Applied("mic1.eq1.type+=1", 0).ok);  // a list is not a number
    EXPECT_FALSE(Applied("mic1.volume+=loud", 0).ok);
    EXPECT_FALSE(Applied("noisegate=toggle", 0).ok);  // more than two levels
    EXPECT_FALSE(Applied("mic1.volume=toggle", 0).ok);
}

TEST(ParamText, ValuesShowAsTheFieldsShowThemAndItemsAsTheirWords) {
    EXPECT_EQ(FormatParamValue(*FindParam("mic1.eq1.freq"), 1000), "1000.0Hz");
    EXPECT_EQ(FormatParamValue(*FindParam("mic1.eq3.gain"), 132), "-3.6dB");
    EXPECT_EQ(FormatParamValue(*FindParam("mic1.eq1.q"), 40), "2.40");
    EXPECT_EQ(FormatParamValue(*FindParam("dynamics.low.release"), 4), "Atk x 8");
    EXPECT_EQ(FormatParamValue(*FindParam("mic1.eq1.type"), 13), "highpass");
    EXPECT_EQ(FormatParamValue(*FindParam("mic1.eq1.bypass"), 13), "on");
    EXPECT_EQ(FormatParamValue(*FindParam("noisegate"), 3), "4");
    EXPECT_EQ(FormatParamValue(*FindParam("feedback"), 0), "off");
    EXPECT_EQ(FormatParamValue(*FindParam("mic1.phase"), 1), "inverted");
    EXPECT_EQ(FormatParamValue(*FindParam("powerex"), 2), "3");
}

// Every raw value a parameter can be set to; a band's type and bypass with
// the other half of their slot in every state.
std::vector<std::int32_t> SettableValues(const ParamEntry& e) {
    std::vector<std::int32_t> out;
    switch (e.format) {
    case ParamFormat::BandType:
    case ParamFormat::Bypass:
        for (std::size_t type = 0; type < FindParam("mic1.eq1.type")->items.size(); ++type) {
            out.push_back(static_cast<std::int32_t>(type));
            out.push_back(static_cast<std::int32_t>(type) + kBypassOffset);
        }
        break;
    case ParamFormat::CurvePoint:
        for (int in = static_cast<int>(kCompressorInputMin); in <= kCompressorInputMax; ++in)
            for (int level = static_cast<int>(kCompressorOutputMin); level <= kCompressorOutputMax; ++level)
                if (level - in <= kCompressorMaxGain) out.push_back(EncodeCompressorPoint(in, level));
        break;
    default:
        for (std::int32_t raw = e.min; raw <= e.max; ++raw) out.push_back(raw);
    }
    return out;
}

TEST(ParamText, EveryValueOfEveryParameterReadsBackFromItsOwnText) {
    for (const ParamEntry& e : ParamCatalogue()) {
        for (const std::int32_t raw : SettableValues(e)) {
            const std::string text = FormatParamValue(e, raw);
            const ParsedValue back = ParseParamValue(e, text, raw);
            ASSERT_TRUE(back.ok) << e.name << " " << raw << " '" << text << "': " << back.error;
            ASSERT_EQ(back.raw, raw) << e.name << " '" << text << "'";
        }
    }
}

TEST(ParamText, AnEmptyOrBlankValueIsRefused) {
    for (const ParamEntry& e : ParamCatalogue()) {
        for (const char* blank : {"", " ", "\t", " \r\n"}) {
            const ParsedValue v = ParseParamValue(e, blank, 0);
            EXPECT_FALSE(v.ok) << e.name << " '" << blank << "'";
            EXPECT_NE(v.error.find(e.name), std::string::npos) << v.error;
        }
    }
}

TEST(ParamText, MistypedNamesSuggestTheNearest) {
    EXPECT_EQ(NearestParamNames("mic1.eq3.gian").front(), "mic1.eq3.gain");
    EXPECT_EQ(NearestParamNames("powerx").front(), "powerex");
}

TEST(ParamCatalogue, NamesAreUniqueAndPlaceEveryWindowControlOnce) {
    std::set<std::string> names;
    for (const ParamEntry& e : ParamCatalogue()) EXPECT_TRUE(names.insert(e.name).second) << e.name;
    // Five system controls, 25 slots per microphone, 12 on the rest of page 1.
    EXPECT_EQ(ControlPlacements().size(), 5u + 50u + 16u);
    EXPECT_EQ(ControlPlacements()[5].companionControl, "Mic1BypassCheck1");
}

}  // namespace
}  // namespace tr640::testing
