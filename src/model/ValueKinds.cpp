// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/ValueKinds.h"

#include "model/BandSlot.h"
#include "model/DecimalFormat.h"
#include "model/ParamCatalogue.h"

#include <charconv>
#include <climits>
#include <cmath>

namespace tr640 {

namespace {

// Doubles at or beyond these bounds do not fit an int.
constexpr double kIntCeiling = 2147483648.0;  // INT_MAX + 1
constexpr double kIntFloor = -2147483648.0;   // INT_MIN

// Converts an already integral double, saturating at the int range.
int SaturateToInt(double integral) {
    if (std::isnan(integral)) return 0;
    if (integral >= kIntCeiling) return INT_MAX;
    if (integral <= kIntFloor) return INT_MIN;
    return static_cast<int>(integral);
}

std::array<double, kQTableSize> ReadQTable() {
    std::array<double, kQTableSize> values{};
    for (int i = 0; i < kQTableSize; ++i) {
        const std::string_view text = kQTableTexts[static_cast<std::size_t>(i)];
        // from_chars ignores the locale, so '.' is always the separator.
        std::from_chars(text.data(), text.data() + text.size(), values[static_cast<std::size_t>(i)]);
    }
    return values;
}

const std::array<double, kQTableSize>& QValues() {
    static const std::array<double, kQTableSize> values = ReadQTable();
    return values;
}

int QTableIndex(int index) { return index < 0 ? 0 : (index > kQTableLast ? kQTableLast : index); }

// The device's ranges are checked against the maximum first, then the
// minimum; with a sane range the order only matters for NaN, which passes.
double ClampValue(double x, double lo, double hi) {
    if (x > hi) return hi;
    if (x < lo) return lo;
    return x;
}

double ApplyStep(double x, Step step) {
    switch (step) {
        case Step::Up: return x + 1;
        case Step::Down: return x - 1;
        case Step::None: break;
    }
    return x;
}

// Frequency fields step by one hertz up to 105 Hz, where a hertz is still
// about one step of the scale; above that they step along the scale so that
// a step is the same musical interval everywhere. The converted value is at
// least 107 scale steps (about 50.9 Hz) after the step, so the test against
// 107 converts back exactly what was converted.
double StepFrequency(double x, Step step) {
    const bool stepping = step != Step::None;
    if (stepping && x > 105) x = FrequencyToStep(x);
    x = ApplyStep(x, step);
    if (stepping && x > 107) x = StepToFrequency(x);
    return x;
}

// Slot 0 of the band a Q address belongs to. The active microphone's band
// arithmetic decides it; an address that it does not resolve (a microphone 1
// band while microphone 2 is shown) falls back to its own microphone's layout.
int BandTypeAddress(int address, int activeMic) {
    if (const auto ref = BandSlot(address, activeMic)) return address - ref->slot;
    if (const auto ref = BandSlot(address, 0)) return address - ref->slot;
    return address;
}

// Only a plain parametric band reaches the narrow Q values (its slot 3);
// shelves, pass filters and any bypassed band stop where slot 4 does. The
// band's type decides, whichever of the two slots the field stands for.
const ParamEntry& QLimits(const ParamEntry& field, const ParamStore& store, int activeMic) {
    const int typeAddress = BandTypeAddress(field.address, activeMic);
    const int slot = store.Shown(typeAddress) == 0 ? kSlotQ : kSlotQOther;
    const ParamEntry* limits = FindFieldParam(static_cast<ParamAddress>(typeAddress + slot));
    return limits && limits->kind == kKindBandQ ? *limits : field;
}

std::string GainText(double x) { return FormatFixed(x / 5 - 30, 1) + "dB"; }
std::string ReleaseText(double x) { return "Atk x " + FormatFixed(x * 2, 0); }

}  // namespace

int Trunc(double x) { return SaturateToInt(std::trunc(x)); }

int Nearest(double x) {
    // round() takes halves away from zero; an exact half (the fractional
    // part of a double is exact) is sent to the even neighbour instead.
    double result = std::round(x);
    if (std::fabs(x - std::trunc(x)) == 0.5) result = 2.0 * std::round(x / 2.0);
    return SaturateToInt(result);
}

std::string_view QTableText(int index) { return kQTableTexts[static_cast<std::size_t>(QTableIndex(index))]; }

double QTableValue(int index) { return QValues()[static_cast<std::size_t>(QTableIndex(index))]; }

double FrequencyToStep(double hertz) {
    const double f = hertz < 1 ? 1.0 : hertz;
    return (std::log10(f) - 1) / kScaleDecades * kScaleSteps;
}

double StepToFrequency(double step) { return std::pow(10.0, step * kScaleDecades / kScaleSteps + 1); }

std::int32_t EqBandDefault(int band, int slot) {
    if (band < 0 || band >= kBandsPerMic) return 0;
    switch (slot) {
        case kSlotType: return 0;
        // Bands spread 100 scale steps apart from the bottom of the scale,
        // lifted by 20 Hz so the lowest sits at the frequency field's minimum.
        case kSlotFrequency: return Nearest(StepToFrequency(100.0 * band)) + 20;
        case kSlotGain: return 150;  // 0.0 dB
        case kSlotQ: return 49;      // "4.00"
        case kSlotQOther: return 25;  // "1.00"
        default: return 0;
    }
}

std::int32_t EncodeCompressorPoint(int inputDb, int outputDb) {
    const long long packed = (static_cast<long long>(inputDb) + 200) * 256 + (static_cast<long long>(outputDb) + 200);
    if (packed > INT32_MAX) return INT32_MAX;
    if (packed < INT32_MIN) return INT32_MIN;
    return static_cast<std::int32_t>(packed);
}

CompressorPoint DecodeCompressorPoint(std::int32_t raw) {
    // C++ division truncates toward zero, as the device's encoding expects.
    return CompressorPoint{raw / 256 - 200, raw % 256 - 200};
}

double TextToRaw(int kind, double number) {
    switch (kind) {
        case kKindBandGain: return Nearest((number + 30) * 5);
        case kKindBandQ: {
            const auto& values = QValues();
            for (int i = 0; i < kQTableLast; ++i) {
                if (number <= values[static_cast<std::size_t>(i)]) return i;
            }
            return kQTableLast;
        }
        default: return number;
    }
}

KindRuleResult ApplyKindRule(const KindRuleInput& in, const ParamStore& store) {
    KindRuleResult r;
    double x = in.x;
    r.raw = Trunc(x);
    if (!in.entry || in.entry->format != ParamFormat::Kind) {
        r.x = x;
        return r;
    }
    const ParamEntry& e = *in.entry;
    const bool user = in.source == Source::User;
    // A user's value is brought within the limits; the text parser asks
    // whether it had to be.
    auto clamp = [&r](double v, const ParamEntry& limits) {
        const double c = ClampValue(v, limits.min, limits.max);
        r.clamped = r.clamped || !(c == v);
        return c;
    };

    switch (e.kind) {
        case kKindBandFrequency:
        case kKindCrossover: {
            if (user) {
                x = clamp(StepFrequency(x, in.step), e);
                r.text = FormatFixed(x, 1) + "Hz";
                r.raw = Trunc(x);
            } else {
                // A stored frequency is whole hertz; it is shown as such,
                // unclamped, with the field's usual one decimal.
                r.text = FormatFixed(x, 0) + ".0Hz";
            }
            r.becomesCurrentField = true;
            r.mirrorCrossovers = e.kind == kKindCrossover;
            break;
        }
        case kKindBandGain:
            if (user) {
                x = clamp(ApplyStep(x, in.step), e);
                r.raw = Nearest(x);
            }
            r.text = GainText(x);
            break;
        case kKindBandQ:
            if (user) {
                x = clamp(ApplyStep(x, in.step), QLimits(e, store, in.activeMic));
                r.raw = Trunc(x);
            } else {
                // The field stands for slot 3 or 4 depending on the band
                // type, so the value is taken from the store, not the caller.
                r.raw = store.Device(e.address);
                x = r.raw;
            }
            r.text = std::string(QTableText(r.raw));
            break;
        case kKindPercent:
            if (user) {
                x = clamp(ApplyStep(x, in.step), e);
                r.raw = Trunc(x);
            } else {
                x = ClampValue(x, e.min, e.max);
            }
            r.text = FormatFixed(x, 0) + "%";
            break;
        case kKindRelease:
            if (user) {
                // The field shows the release as twice the raw multiple.
                x = clamp(ApplyStep(x / 2, in.step), e);
                r.raw = Nearest(x);
            } else {
                x = ClampValue(x, e.min, e.max);
            }
            r.text = ReleaseText(x);
            break;
        case kKindTime:
            if (user) {
                x = clamp(ApplyStep(x, in.step), e);
                r.raw = Nearest(x);
            }
            r.text = FormatFixed(x, 1) + "ms";
            break;
        default:
            r.x = x;
            return r;
    }
    r.x = x;
    r.textChanged = true;
    return r;
}

}  // namespace tr640
