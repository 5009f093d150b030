// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/ParamStore.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace tr640 {

// ---------------------------------------------------------------------------
// Integer conversions. The device only takes integers, and two different
// conversions are in use; mixing them up shifts values by one. Both clamp
// to the int range first (NaN gives 0), so no input is undefined behaviour.

// Truncation toward zero.
int Trunc(double x);
// Nearest integer, a half going to the even neighbour: 2.5 -> 2, 3.5 -> 4.
int Nearest(double x);

// ---------------------------------------------------------------------------
// Value kinds: the number in an entry field's hint text, which picks how the
// field's raw value is shown, typed, stepped and clamped.
enum ValueKind : int {
    kKindBandFrequency = 2,  // hertz
    kKindBandGain = 3,       // 0.2 dB steps above -30 dB
    kKindBandQ = 4,          // index into the Q table
    kKindPercent = 8,
    kKindCrossover = 9,      // hertz
    kKindRelease = 16,       // release as a multiple, 1 .. 16
    kKindTime = 17,          // milliseconds
};

// ---------------------------------------------------------------------------
// Q table: the raw Q of a band is an index into this table; the number each
// text spells is the Q the device applies.
inline constexpr int kQTableSize = 110;
inline constexpr int kQTableLast = kQTableSize - 1;

inline constexpr std::array<std::string_view, kQTableSize> kQTableTexts = {
    "0.1",    "0.12",   "0.15",   "0.18",   "0.22",   "0.25",   "0.29",   "0.32",   "0.36",   "0.40",
    "0.42",   "0.45",   "0.47",   "0.50",   "0.53",   "0.56",   "0.59",   "0.63",   "0.67",   "0.71",
    "0.75",   "0.79",   "0.84",   "0.89",   "0.94",   "1.00",   "1.06",   "1.12",   "1.19",   "1.26",
    "1.30",   "1.40",   "1.50",   "1.60",   "1.70",   "1.80",   "1.90",   "2.00",   "2.10",   "2.20",
    "2.40",   "2.50",   "2.70",   "2.80",   "3.00",   "3.20",   "3.40",   "3.60",   "3.80",   "4.00",
    "4.20",   "4.50",   "4.80",   "5.00",   "5.30",   "5.70",   "6.00",   "6.30",   "6.70",   "7.10",
    "7.60",   "8.00",   "8.50",   "9.00",   "9.50",   "10.10",  "10.70",  "11.30",  "12.00",  "12.70",
    "13.50",  "14.00",  "15.00",  "16.00",  "17.00",  "18.00",  "19.00",  "20.00",  "21.00",  "23.00",
    "24.00",  "25.00",  "27.00",  "29.00",  "30.00",  "32.00",  "34.00",  "36.00",  "38.00",  "40.00",
    "43.00",  "45.00",  "48.00",  "51.00",  "54.00",  "57.00",  "60.00",  "64.00",  "68.00",  "72.00",
    "76.00",  "81.00",  "85.00",  "91.00",  "96.00",  "102.00", "108.00", "114.00", "121.00", "128.00",
};

// The Q table text and number of a raw Q. A raw Q outside the table (only a
// device or a preset file can hold one) is taken at the nearer end of it.
std::string_view QTableText(int index);
double QTableValue(int index);

// ---------------------------------------------------------------------------
// Frequency step scale: 512 logarithmic steps from 10 Hz (step 0) to 24 kHz
// (step 512), one step being a factor of about 1.0153. The EQ graph's axis
// and the stepping of frequency fields both run along it.
inline constexpr int kScaleSteps = 512;
inline constexpr double kScaleDecades = 3.380211241711606;  // log10(24000) - 1

// Step of a frequency (frequencies below 1 Hz count as 1 Hz); not rounded.
double FrequencyToStep(double hertz);
// Frequency of a step, fractional steps included; not rounded.
double StepToFrequency(double step);

// ---------------------------------------------------------------------------
// Band type value (slot 0 of a band): the filter type 0 .. 4, plus 10 while
// the band is bypassed.
inline constexpr int kBypassOffset = 10;

// What an EQ reset writes into slot `slot` of band `band` (0 .. 4) of either
// microphone: a parametric band spread over the scale, at 0 dB, Q "4.00" for
// the parametric slot and "1.00" for the other types. 0 outside the band.
std::int32_t EqBandDefault(int band, int slot);

// ---------------------------------------------------------------------------
// Compressor curve point: input and output level in whole dB packed into one
// raw value, each offset by 200 so that it fits a byte.
struct CompressorPoint {
    int inputDb = 0;
    int outputDb = 0;
    friend bool operator==(const CompressorPoint&, const CompressorPoint&) = default;
};
std::int32_t EncodeCompressorPoint(int inputDb, int outputDb);
CompressorPoint DecodeCompressorPoint(std::int32_t raw);

// ---------------------------------------------------------------------------
// Typed numbers and the per-kind rule.

// The raw value of a number typed into a field of `kind`: a gain is typed in
// dB, a Q as the Q itself (it goes to the nearest table entry at or above it);
// every other kind is typed in its raw unit already.
double TextToRaw(int kind, double number);

enum class Step { None, Up, Down };
enum class Source {
    User,     // a change to keep and send
    Refresh,  // showing a value the store already holds
};

struct ParamEntry;

struct KindRuleInput {
    // The catalogue entry of the field's effective address: its kind, its
    // address and its limits. None (or an entry that is not a field's): no
    // rule, the field keeps its text.
    const ParamEntry* entry = nullptr;
    Step step = Step::None;
    Source source = Source::User;
    // The value in raw units; for a release field changed by the user, the
    // number shown after "Atk x " (twice the raw value).
    double x = 0;
    int activeMic = 0;  // the microphone whose EQ page is shown
};

struct KindRuleResult {
    double x = 0;                  // the value as adjusted
    std::int32_t raw = 0;          // what to store and send
    bool textChanged = false;      // false: the kind has no rule, the field keeps its text
    std::string text;              // the field's new text when textChanged
    bool becomesCurrentField = false;  // the value layer control at the address becomes current
    bool mirrorCrossovers = false;     // `MICHighFreEdit2` / `MICLowFreEdit2` copy the crossover texts
    bool clamped = false;              // a user's value lay beyond the limits and was brought to them
};

// How a value of the given kind reaches its entry field: stepping, clamping
// to the entry's limits, rounding and the text. The store is only read: the
// band type of a Q field's band (shown image) and, when a Q field is
// refreshed, the stored Q (device image).
KindRuleResult ApplyKindRule(const KindRuleInput& in, const ParamStore& store);

}  // namespace tr640
