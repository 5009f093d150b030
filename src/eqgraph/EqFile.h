// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/FilterDesign.h"
#include "model/ParamStore.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tr640 {

// ---------------------------------------------------------------------------
// Parametric filters in and out as plain text: Equalizer APO's filter lines,
// the "Generic" export of room-measurement tools (a few header lines, unused
// slots as `None`) and the ParametricEQ.txt of automatic-EQ tools all share
// one syntax:
//
//   Preamp: -6.5 dB
//   Filter 1: ON PK Fc 50 Hz Gain -10.0 dB Q 2.50
//   Filter: ON LSC Fc 105 Hz Gain 4,5 dB Q 0.70
//   Filter  8: ON  None
//
// An import maps the active filters, in file order, onto the five bands of one
// microphone; the unit's steps are coarser than the files' numbers, so every
// value is rounded to what a band can hold and the report says what was asked
// and what was taken. The outcomes are typed: each front end words them.

// Files beyond this are not filter lists; they are refused before reading.
inline constexpr std::size_t kEqFileMaxBytes = 1 << 20;

// Which value of a filter a report is about.
enum class EqValue { Frequency, Gain, Q, Slope, Bandwidth, Preamp };

enum class EqRefusalReason {
    Empty,               // nothing but white space
    TooLarge,            // more than kEqFileMaxBytes
    NotText,             // control bytes, or UTF-16 that does not decode
    NoFilter,            // text, but not one filter line
    Unreadable,          // a Filter or Preamp line that does not parse; `token` is where it stops
    TooManyFilters,      // `count` active filters; `line` is the first one without a band
    UnsupportedType,     // `token` is the type (NO, BP, AP, ...)
    OutOfRange,          // `value` of `which` is outside `min` .. `max`
    UnsupportedCommand,  // a command that shapes the sound in a way five bands cannot (`token`)
};

struct EqRefusal {
    EqRefusalReason reason = EqRefusalReason::Unreadable;
    int line = 0;       // 1-based; 0 when the whole file is meant
    std::string token;  // at most kEqTokenLimit characters of the offending text
    int count = 0;
    EqValue which = EqValue::Frequency;
    double value = 0, min = 0, max = 0;
};
inline constexpr std::size_t kEqTokenLimit = 40;

enum class EqWarningReason {
    Rounded,            // `which` went from `asked` to `taken`, more than half a step
    PreampNotApplied,   // a preamp of `asked` dB: the unit's input volume is a percentage
    OffFiltersSkipped,  // `count` switched-off filters did not fit or cannot be held
    CommandIgnored,     // a command (`token`) that does not change the bands
};

struct EqWarning {
    EqWarningReason reason = EqWarningReason::Rounded;
    int line = 0;
    EqValue which = EqValue::Frequency;
    double asked = 0, taken = 0;
    int count = 0;
    std::string token;
};

// What one band will hold after the import.
struct EqPlannedBand {
    int line = 0;                // the file line of its filter; 0 for a band bypassed because no filter reached it
    std::int32_t type = 0;       // type code as stored, bypass included
    std::int32_t frequency = 0;  // whole Hz
    std::int32_t gainStep = 0;   // (dB + 30) x 5
    std::int32_t qIndex = 0;     // into the Q table: the Q, or the slope of a shelf
    bool setsGain = true;        // pass filters leave the gain slot as it is
    bool fromFilter = false;     // false: only bypassed, all values kept
    // The filter's values in the unit's terms before rounding: the centre
    // frequency, the gain in dB, the Q (or the shelf slope).
    double askedFrequency = 0, askedGain = 0, askedQ = 0;
};

struct EqImportPlan {
    int mic = 0;
    std::array<EqPlannedBand, kBandsPerMic> bands{};
    std::vector<EqWarning> warnings;
};

struct EqImportResult {
    std::optional<EqImportPlan> plan;  // set when the file can be taken
    std::optional<EqRefusal> refusal;  // set otherwise
};

// Reads `bytes` as a filter file for microphone `mic` (0 or 1); `store`'s
// shown image gives the values that bands without a filter keep. Nothing is
// changed: the result is a plan or a refusal, never a part of a file.
EqImportResult PlanEqImport(std::string_view bytes, int mic, const ParamStore& store);

// One raw value to store and send.
struct EqBandChange {
    ParamAddress address = 0;
    std::int32_t raw = 0;
};

// The changes that carry out a plan, band by band, each band's type first
// (its Q slot and Q limit follow the type), values equal to the store's left
// out.
std::vector<EqBandChange> EqImportChanges(const EqImportPlan& plan, const ParamStore& store);

// The band's values as the plan (or a store after the import) holds them.
EqBands PlannedEqBands(const EqImportPlan& plan, const ParamStore& store);

// A microphone's five bands as Equalizer APO filter lines (bypassed bands as
// OFF lines, pass filters as HPQ / LPQ with their Q, shelves as LSC / HSC with
// the Q that gives the unit's slope at the band's gain), so that importing
// the text gives back the same raw values. A band with a code the syntax has
// no word for becomes a comment line.
std::string ExportEqText(const ParamStore& store, int mic);

// The curve the graph draws for the microphone, one `frequency dB` pair per
// grid point, after `*` comment lines naming the unit and the bands: the
// form room-measurement tools import as a frequency response.
std::string ExportEqCurveText(const ParamStore& store, int mic);

// Shelf slope and Q, as the shelf design relates them at a gain: the unit's
// shelf "Q" is the slope S, files give a Q or a slope in dB per octave.
double ShelfSlopeFromQ(double q, double gainDb);
double ShelfQFromSlope(double slope, double gainDb);
// The Q of a bandwidth in octaves.
double QFromBandwidth(double octaves);

}  // namespace tr640
