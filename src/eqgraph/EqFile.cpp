// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/EqFile.h"

#include "eqgraph/FrequencyResponse.h"
#include "model/ParamCatalogue.h"
#include "model/ValueKinds.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <variant>

namespace tr640 {

namespace {

// ---------------------------------------------------------------------------
// Limits of the band slots, from the catalogue (both microphones share them).

struct BandLimits {
    int frequencyMin = 0, frequencyMax = 0;
    int gainMin = 0, gainMax = 0;
    int qMax = 0;       // parametric bands
    int qOtherMax = 0;  // shelves and pass filters
};

const ParamEntry& Entry(const char* name) {
    const ParamEntry* e = FindParam(name);
    return *e;  // the catalogue always holds microphone 1's first band
}

const BandLimits& Limits() {
    static const BandLimits limits = [] {
        BandLimits l;
        l.frequencyMin = Entry("mic1.eq1.freq").min;
        l.frequencyMax = Entry("mic1.eq1.freq").max;
        l.gainMin = Entry("mic1.eq1.gain").min;
        l.gainMax = Entry("mic1.eq1.gain").max;
        l.qMax = Entry("mic1.eq1.q").max;
        l.qOtherMax = Entry("mic1.eq1.q.other").max;
        return l;
    }();
    return limits;
}

double GainDb(double step) { return step / 5.0 - 30.0; }
double GainStep(double db) { return (db + 30.0) * 5.0; }

constexpr double kButterworthQ = 0.70710678118654752;

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Clipped(std::string_view text) { return std::string(text.substr(0, kEqTokenLimit)); }

EqRefusal Refuse(EqRefusalReason reason, int line, std::string_view token = {}) {
    EqRefusal r;
    r.reason = reason;
    r.line = line;
    r.token = Clipped(token);
    return r;
}

// ---------------------------------------------------------------------------
// Bytes to lines. Files come from Windows tools: a byte-order mark, CRLF and
// UTF-16 are all common.

void AppendUtf8(std::string& out, unsigned code) {
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (code >> 12));
        out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// UTF-16 after its byte-order mark. Only ASCII carries meaning in a filter
// file, so characters beyond the basic plane (surrogates) become '?'.
std::optional<std::string> DecodeUtf16(std::string_view bytes, bool bigEndian) {
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::string out;
    out.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const unsigned hi = static_cast<unsigned char>(bytes[bigEndian ? i : i + 1]);
        const unsigned lo = static_cast<unsigned char>(bytes[bigEndian ? i + 1 : i]);
        const unsigned code = hi << 8 | lo;
        AppendUtf8(out, code >= 0xD800 && code <= 0xDFFF ? '?' : code);
    }
    return out;
}

bool IsTextByte(unsigned char c) {
    return c >= 0x20 ? c != 0x7F : c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::variant<std::string, EqRefusal> DecodeText(std::string_view bytes) {
    if (bytes.size() > kEqFileMaxBytes) return Refuse(EqRefusalReason::TooLarge, 0);
    std::string text;
    if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
        std::optional<std::string> decoded = DecodeUtf16(bytes.substr(2), bytes[0] == '\xFE');
        if (!decoded) return Refuse(EqRefusalReason::NotText, 0);
        text = std::move(*decoded);
    } else {
        text.assign(bytes.substr(bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0));
    }
    if (!std::all_of(text.begin(), text.end(), [](char c) { return IsTextByte(static_cast<unsigned char>(c)); }))
        return Refuse(EqRefusalReason::NotText, 0);
    if (text.find_first_not_of(" \t\r\n\f\v") == std::string::npos) return Refuse(EqRefusalReason::Empty, 0);
    return text;
}

// Lines end at LF, CRLF or a lone CR.
std::vector<std::string_view> SplitLines(std::string_view text) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\n' && text[i] != '\r') continue;
        lines.push_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        start = i + 1;
    }
    if (start < text.size()) lines.push_back(text.substr(start));
    return lines;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\f' || c == '\v'; }

std::string_view Trimmed(std::string_view s) {
    while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
    return s;
}

bool IsNumberChar(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == ',' || c == '+' || c == '-' || c == 'e' ||
           c == 'E';
}
bool StartsNumber(char c) { return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '+' || c == '-'; }

// Words separated by white space; a number glued to its unit ("6dB",
// "1000Hz") is two words.
std::vector<std::string_view> Words(std::string_view s) {
    std::vector<std::string_view> words;
    std::size_t i = 0;
    while (i < s.size()) {
        while (i < s.size() && IsSpace(s[i])) ++i;
        if (i >= s.size()) break;
        std::size_t end = i;
        while (end < s.size() && !IsSpace(s[end])) ++end;
        std::string_view word = s.substr(i, end - i);
        std::size_t split = 0;
        if (StartsNumber(word.front()))
            while (split < word.size() && IsNumberChar(word[split])) ++split;
        // "1e3Hz": the exponent letter belongs to the number only when digits follow it.
        while (split > 0 && split < word.size() && (word[split - 1] == 'e' || word[split - 1] == 'E')) --split;
        if (split > 0 && split < word.size()) {
            words.push_back(word.substr(0, split));
            words.push_back(word.substr(split));
        } else {
            words.push_back(word);
        }
        i = end;
    }
    return words;
}

// ---------------------------------------------------------------------------
// Numbers: "." or "," as the decimal point; frequencies may carry thousands
// separators ("1,000" or "1.000,5"). A lone comma followed by exactly three
// digits in a frequency is a thousands separator: tools write frequencies
// with at most two decimals.

std::optional<std::string> NormalisedNumber(std::string_view word, bool thousands) {
    std::string s(word);
    if (!s.empty() && s.front() == '+') s.erase(0, 1);
    const std::size_t commas = static_cast<std::size_t>(std::count(s.begin(), s.end(), ','));
    const std::size_t points = static_cast<std::size_t>(std::count(s.begin(), s.end(), '.'));
    if (commas == 0) return points <= 1 ? std::optional(s) : std::nullopt;
    if (thousands) {
        const std::size_t lastComma = s.rfind(',');
        const bool commaIsDecimal =
            points > 0 ? s.rfind('.') < lastComma : commas == 1 && s.size() - lastComma - 1 != 3;
        const char grouping = commaIsDecimal ? '.' : ',';
        s.erase(std::remove(s.begin(), s.end(), grouping), s.end());
        if (commaIsDecimal) std::replace(s.begin(), s.end(), ',', '.');
        return s;
    }
    if (commas > 1 || points > 0) return std::nullopt;
    std::replace(s.begin(), s.end(), ',', '.');
    return s;
}

// The value, or the refusal: a word that is no number, or a number that is
// not finite (nan, inf, 1e309).
std::variant<double, EqRefusal> ReadNumber(std::string_view word, bool thousands, int line) {
    const std::optional<std::string> s = NormalisedNumber(word, thousands);
    double value = 0;
    if (s && !s->empty() && (std::isdigit(static_cast<unsigned char>(s->back())) || s->back() == '.')) {
        const auto [end, ec] = std::from_chars(s->data(), s->data() + s->size(), value);
        if (ec == std::errc() && end == s->data() + s->size() && std::isfinite(value)) return value;
    }
    return Refuse(EqRefusalReason::Unreadable, line, word);
}

// ---------------------------------------------------------------------------
// One filter line.

enum class FileFilter { Peaking, LowShelf, HighShelf, HighPass, LowPass, None, Unsupported };

struct TypeWord {
    std::string_view word;
    FileFilter filter;
    bool cornerFrequency = false;  // plain LS / HS give the corner, LSC / HSC the centre
    bool defaultQ = false;         // LP / HP: Butterworth when no Q is given
};

constexpr TypeWord kTypeWords[] = {
    {"PK", FileFilter::Peaking},
    {"PEQ", FileFilter::Peaking},
    {"LS", FileFilter::LowShelf, true},
    {"LSC", FileFilter::LowShelf},
    {"HS", FileFilter::HighShelf, true},
    {"HSC", FileFilter::HighShelf},
    {"LP", FileFilter::LowPass, false, true},
    {"LPQ", FileFilter::LowPass},
    {"HP", FileFilter::HighPass, false, true},
    {"HPQ", FileFilter::HighPass},
    {"None", FileFilter::None},
    {"NO", FileFilter::Unsupported},
    {"BP", FileFilter::Unsupported},
    {"AP", FileFilter::Unsupported},
    {"IIR", FileFilter::Unsupported},
    {"Modal", FileFilter::Unsupported},
};

const TypeWord* FindType(std::string_view word) {
    for (const TypeWord& t : kTypeWords)
        if (IEquals(t.word, word)) return &t;
    return nullptr;
}

struct FilterLine {
    int line = 0;
    bool on = true;
    const TypeWord* type = nullptr;
    std::string typeText;
    std::optional<double> frequency, gain, q, bandwidth, slopeDb;
};

// Reads "<number> <unit>" where the unit is optional; `at` moves past both.
std::variant<double, EqRefusal> NumberWithUnit(const std::vector<std::string_view>& w, std::size_t& at,
                                               std::string_view unit, bool thousands, int line) {
    if (at >= w.size()) return Refuse(EqRefusalReason::Unreadable, line, w.back());
    auto value = ReadNumber(w[at++], thousands, line);
    if (at < w.size() && IEquals(w[at], unit)) ++at;
    return value;
}

std::optional<EqRefusal> ReadParameter(const std::vector<std::string_view>& w, std::size_t& at, FilterLine& f) {
    const std::string_view key = w[at];
    const int line = f.line;
    auto store = [&](std::optional<double>& slot, std::variant<double, EqRefusal> v) -> std::optional<EqRefusal> {
        if (auto* r = std::get_if<EqRefusal>(&v)) return *r;
        slot = std::get<double>(v);
        return std::nullopt;
    };
    if (IEquals(key, "Fc")) return store(f.frequency, NumberWithUnit(w, ++at, "Hz", true, line));
    if (IEquals(key, "Gain")) return store(f.gain, NumberWithUnit(w, ++at, "dB", false, line));
    if (IEquals(key, "Q")) return store(f.q, NumberWithUnit(w, ++at, "", false, line));
    if (IEquals(key, "BW")) {
        if (++at >= w.size() || !IEquals(w[at], "Oct")) return Refuse(EqRefusalReason::Unreadable, line, key);
        return store(f.bandwidth, NumberWithUnit(w, ++at, "", false, line));
    }
    const bool shelf = f.type->filter == FileFilter::LowShelf || f.type->filter == FileFilter::HighShelf;
    if (shelf && StartsNumber(key.front()) && at + 1 < w.size() && IEquals(w[at + 1], "dB"))
        return store(f.slopeDb, NumberWithUnit(w, at, "dB", false, line));
    return Refuse(EqRefusalReason::Unreadable, line, key);
}

std::variant<FilterLine, EqRefusal> ReadFilterLine(std::string_view rest, int line) {
    const std::vector<std::string_view> w = Words(rest);
    FilterLine f;
    f.line = line;
    if (w.empty() || !(IEquals(w[0], "ON") || IEquals(w[0], "OFF")))
        return Refuse(EqRefusalReason::Unreadable, line, w.empty() ? rest : w[0]);
    f.on = IEquals(w[0], "ON");
    if (w.size() < 2) return Refuse(EqRefusalReason::Unreadable, line, w[0]);
    f.type = FindType(w[1]);
    f.typeText = Clipped(w[1]);
    if (!f.type) return Refuse(EqRefusalReason::Unreadable, line, w[1]);
    if (f.type->filter == FileFilter::None || f.type->filter == FileFilter::Unsupported) return f;
    for (std::size_t at = 2; at < w.size();)
        if (std::optional<EqRefusal> r = ReadParameter(w, at, f)) return *r;
    return f;
}

// ---------------------------------------------------------------------------
// Lines and commands.

struct ParsedFile {
    std::vector<FilterLine> filters;
    std::vector<EqWarning> warnings;
};

// The command word of a line ("Filter", "Preamp", ...) and what follows its
// colon. Header lines of room-measurement exports and comments have none.
struct Command {
    std::string_view word;
    std::string_view rest;
};

std::optional<Command> LineCommand(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && std::isalpha(static_cast<unsigned char>(line[i]))) ++i;
    if (i == 0) return std::nullopt;
    const std::string_view word = line.substr(0, i);
    std::size_t j = i;
    if (IEquals(word, "Filter")) {
        while (j < line.size() && IsSpace(line[j])) ++j;
        while (j < line.size() && std::isdigit(static_cast<unsigned char>(line[j]))) ++j;
    }
    while (j < line.size() && IsSpace(line[j])) ++j;
    if (j < line.size() && line[j] == ':') return Command{word, line.substr(j + 1)};
    return std::nullopt;
}

// Commands that shape the sound in ways five bands cannot follow.
constexpr std::string_view kRefusedCommands[] = {"GraphicEQ", "Convolution", "Include", "LoudnessCorrection"};
// Commands that choose where filters apply, or route and delay channels: the
// filters all land on one microphone, which has neither routing nor delay.
constexpr std::string_view kIgnoredCommands[] = {"Device", "Channel", "Stage", "If",    "ElseIf",
                                                 "Else",   "EndIf",   "Eval",  "Delay", "Copy"};

template <std::size_t N>
bool Among(const std::string_view (&list)[N], std::string_view word) {
    return std::any_of(std::begin(list), std::end(list), [&](std::string_view w) { return IEquals(w, word); });
}

std::optional<EqRefusal> ReadPreamp(std::string_view rest, int line, ParsedFile& out) {
    const std::vector<std::string_view> w = Words(rest);
    std::size_t at = 0;
    if (w.empty()) return Refuse(EqRefusalReason::Unreadable, line, "Preamp:");
    auto v = NumberWithUnit(w, at, "dB", false, line);
    if (auto* r = std::get_if<EqRefusal>(&v)) return *r;
    if (at != w.size()) return Refuse(EqRefusalReason::Unreadable, line, w[at]);
    if (std::get<double>(v) != 0) {
        EqWarning warning;
        warning.reason = EqWarningReason::PreampNotApplied;
        warning.line = line;
        warning.which = EqValue::Preamp;
        warning.asked = std::get<double>(v);
        out.warnings.push_back(warning);
    }
    return std::nullopt;
}

std::optional<EqRefusal> ReadLine(std::string_view raw, int line, ParsedFile& out) {
    const std::string_view text = Trimmed(raw);
    const std::optional<Command> command = LineCommand(text);
    if (!command) return std::nullopt;  // a header, a comment or a note
    if (IEquals(command->word, "Filter")) {
        auto f = ReadFilterLine(command->rest, line);
        if (auto* r = std::get_if<EqRefusal>(&f)) return *r;
        if (std::get<FilterLine>(f).type->filter != FileFilter::None) out.filters.push_back(std::get<FilterLine>(f));
        return std::nullopt;
    }
    if (IEquals(command->word, "Preamp")) return ReadPreamp(command->rest, line, out);
    if (Among(kRefusedCommands, command->word)) return Refuse(EqRefusalReason::UnsupportedCommand, line, command->word);
    if (Among(kIgnoredCommands, command->word)) {
        EqWarning warning;
        warning.reason = EqWarningReason::CommandIgnored;
        warning.line = line;
        warning.token = Clipped(command->word);
        out.warnings.push_back(warning);
    }
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Values onto the unit's steps.

struct Rounded {
    std::int32_t raw = 0;
    bool warn = false;  // moved by more than half a step
};

EqRefusal OutOfRange(int line, EqValue which, double value, double min, double max) {
    EqRefusal r = Refuse(EqRefusalReason::OutOfRange, line);
    r.which = which;
    r.value = value;
    r.min = min;
    r.max = max;
    return r;
}

// A value on a scale of whole raw steps: up to a step beyond either end is
// taken at the end (with a warning past half a step), further is refused.
std::optional<Rounded> RoundLinear(double raw, int min, int max) {
    if (raw < min - 1.0 || raw > max + 1.0) return std::nullopt;
    const std::int32_t taken = std::clamp(Nearest(raw), min, max);
    return Rounded{taken, std::abs(taken - raw) > 0.5};
}

// The nearest Q table entry on a log scale among indices 0 .. maxIndex, with
// the same tolerance at the ends in log steps.
std::optional<Rounded> RoundQ(double q, int maxIndex) {
    if (!(q > 0)) return std::nullopt;
    const double lq = std::log(q);
    auto at = [](int i) { return std::log(QTableValue(i)); };
    int best = 0;
    for (int i = 1; i <= maxIndex; ++i)
        if (std::abs(at(i) - lq) < std::abs(at(best) - lq)) best = i;
    const double lowStep = at(1) - at(0), highStep = at(maxIndex) - at(maxIndex - 1);
    if (lq < at(0) - lowStep || lq > at(maxIndex) + highStep) return std::nullopt;
    double step = 0;
    if (lq < at(best))
        step = best > 0 ? at(best) - at(best - 1) : lowStep;
    else
        step = best < maxIndex ? at(best + 1) - at(best) : highStep;
    return Rounded{best, std::abs(at(best) - lq) > step / 2 + 1e-12};
}

struct TakeContext {
    int line = 0;
    std::vector<EqWarning>* warnings = nullptr;
    void Warn(EqValue which, double asked, double taken) const {
        EqWarning w;
        w.reason = EqWarningReason::Rounded;
        w.line = line;
        w.which = which;
        w.asked = asked;
        w.taken = taken;
        warnings->push_back(w);
    }
};

FilterType BandType(FileFilter f) {
    switch (f) {
    case FileFilter::LowShelf: return kFilterLowShelf;
    case FileFilter::HighShelf: return kFilterHighShelf;
    case FileFilter::HighPass: return kFilterHighPass;
    case FileFilter::LowPass: return kFilterLowPass;
    default: return kFilterParametric;
    }
}

std::optional<EqRefusal> TakeGain(const FilterLine& f, const TakeContext& c, EqPlannedBand& band) {
    if (!f.gain) return Refuse(EqRefusalReason::Unreadable, f.line, "Gain");
    const BandLimits& l = Limits();
    band.askedGain = *f.gain;
    const std::optional<Rounded> r = RoundLinear(GainStep(*f.gain), l.gainMin, l.gainMax);
    if (!r) return OutOfRange(f.line, EqValue::Gain, *f.gain, GainDb(l.gainMin), GainDb(l.gainMax));
    band.gainStep = r->raw;
    if (r->warn) c.Warn(EqValue::Gain, *f.gain, GainDb(r->raw));
    return std::nullopt;
}

// The Q asked for: given, from a bandwidth, or the type's default.
std::variant<double, EqRefusal> AskedQ(const FilterLine& f) {
    if (f.q) return *f.q;
    if (f.bandwidth) {
        if (!(*f.bandwidth > 0)) return OutOfRange(f.line, EqValue::Bandwidth, *f.bandwidth, 0, HUGE_VAL);
        return QFromBandwidth(*f.bandwidth);
    }
    if (f.type->filter == FileFilter::Peaking) return Refuse(EqRefusalReason::Unreadable, f.line, "Q");
    return kButterworthQ;
}

// A shelf's slope: from the slope in dB per octave (12 dB is S = 1), from its
// Q at the band's gain, or S = 1 when the file gives neither.
std::variant<double, EqRefusal> AskedSlope(const FilterLine& f, double gainDb) {
    if (f.slopeDb) {
        if (!(*f.slopeDb > 0)) return OutOfRange(f.line, EqValue::Slope, *f.slopeDb, 0, HUGE_VAL);
        return *f.slopeDb / 12.0;
    }
    if (!f.q && !f.bandwidth) return 1.0;
    auto q = AskedQ(f);
    if (auto* r = std::get_if<EqRefusal>(&q)) return *r;
    if (!(std::get<double>(q) > 0)) return OutOfRange(f.line, EqValue::Q, std::get<double>(q), 0, HUGE_VAL);
    return ShelfSlopeFromQ(std::get<double>(q), gainDb);
}

std::optional<EqRefusal> TakeQ(const FilterLine& f, const TakeContext& c, EqPlannedBand& band) {
    const bool shelf = band.type == kFilterLowShelf || band.type == kFilterHighShelf;
    auto asked = shelf ? AskedSlope(f, GainDb(band.gainStep)) : AskedQ(f);
    if (auto* r = std::get_if<EqRefusal>(&asked)) return *r;
    band.askedQ = std::get<double>(asked);
    const int maxIndex = band.type == kFilterParametric ? Limits().qMax : Limits().qOtherMax;
    const EqValue which = shelf ? EqValue::Slope : EqValue::Q;
    const std::optional<Rounded> r = RoundQ(band.askedQ, maxIndex);
    if (!r) return OutOfRange(f.line, which, band.askedQ, QTableValue(0), QTableValue(maxIndex));
    band.qIndex = r->raw;
    if (r->warn) c.Warn(which, band.askedQ, QTableValue(r->raw));
    return std::nullopt;
}

// A plain LS / HS names its corner: the shelf's transition of |gain| dB at
// its slope spans |gain| / slope octaves, and the unit's frequency is the
// middle of it, above the corner of a low shelf and below that of a high one.
double CentreFrequency(const FilterLine& f, const EqPlannedBand& band) {
    if (!f.type->cornerFrequency || !f.gain) return *f.frequency;
    const double slopeDb = 12.0 * QTableValue(band.qIndex);
    const double octaves = std::abs(GainDb(band.gainStep)) / (2.0 * slopeDb);
    return band.type == kFilterLowShelf ? *f.frequency * std::exp2(octaves) : *f.frequency / std::exp2(octaves);
}

std::optional<EqRefusal> TakeFrequency(const FilterLine& f, const TakeContext& c, EqPlannedBand& band) {
    if (!f.frequency) return Refuse(EqRefusalReason::Unreadable, f.line, "Fc");
    const BandLimits& l = Limits();
    band.askedFrequency = CentreFrequency(f, band);
    const std::optional<Rounded> r = RoundLinear(band.askedFrequency, l.frequencyMin, l.frequencyMax);
    if (!r) return OutOfRange(f.line, EqValue::Frequency, band.askedFrequency, l.frequencyMin, l.frequencyMax);
    band.frequency = r->raw;
    if (r->warn) c.Warn(EqValue::Frequency, band.askedFrequency, r->raw);
    return std::nullopt;
}

// One readable filter onto a band, starting from the band's current values
// (the slots its type does not use keep theirs).
std::variant<EqPlannedBand, EqRefusal> TakeFilter(const FilterLine& f, EqPlannedBand band,
                                                  std::vector<EqWarning>& warnings) {
    if (f.type->filter == FileFilter::Unsupported) return Refuse(EqRefusalReason::UnsupportedType, f.line, f.typeText);
    const TakeContext c{f.line, &warnings};
    band.line = f.line;
    band.fromFilter = true;
    band.type = BandType(f.type->filter);
    band.setsGain = !IsPassBand(band.type);
    if (band.setsGain)
        if (auto r = TakeGain(f, c, band)) return *r;
    if (auto r = TakeQ(f, c, band)) return *r;
    if (auto r = TakeFrequency(f, c, band)) return *r;
    if (!f.on) band.type += kBypassOffset;
    return band;
}

// ---------------------------------------------------------------------------
// The band as the store holds it now.

EqPlannedBand CurrentBand(const ParamStore& store, int mic, int b) {
    EqPlannedBand band;
    band.type = store.Shown(BandAddress(mic, b, kSlotType));
    band.frequency = store.Shown(BandAddress(mic, b, kSlotFrequency));
    band.gainStep = store.Shown(BandAddress(mic, b, kSlotGain));
    band.qIndex = store.Shown(BandAddress(mic, b, band.type % kBypassOffset == 0 ? kSlotQ : kSlotQOther));
    band.setsGain = false;
    return band;
}

// Only plain types have a bypassed twin; other codes stay as they are.
std::int32_t Bypassed(std::int32_t type) { return type >= 0 && type <= kFilterLowPass ? type + kBypassOffset : type; }

int QSlot(std::int32_t type) { return type % kBypassOffset == kFilterParametric ? kSlotQ : kSlotQOther; }

EqWarning SkippedOff(int count) {
    EqWarning w;
    w.reason = EqWarningReason::OffFiltersSkipped;
    w.count = count;
    return w;
}

std::optional<EqRefusal> CheckActiveCount(const std::vector<FilterLine>& filters) {
    int active = 0;
    for (const FilterLine& f : filters) {
        if (!f.on) continue;
        if (++active == kBandsPerMic + 1) {
            EqRefusal r = Refuse(EqRefusalReason::TooManyFilters, f.line);
            r.count = static_cast<int>(std::count_if(filters.begin(), filters.end(), [](auto& x) { return x.on; }));
            return r;
        }
    }
    return std::nullopt;
}

// Switched-off filters take a band, bypassed, only when every filter of the
// file fits; otherwise (or when the unit cannot hold one) they are left out.
std::optional<EqRefusal> AssignBands(const ParsedFile& file, EqImportPlan& plan, const ParamStore& store) {
    const bool offFit = file.filters.size() <= static_cast<std::size_t>(kBandsPerMic);
    int next = 0, skipped = 0;
    for (const FilterLine& f : file.filters) {
        if (!f.on && !offFit) {
            ++skipped;
            continue;
        }
        std::vector<EqWarning> warnings;
        auto taken = TakeFilter(f, CurrentBand(store, plan.mic, next), warnings);
        if (auto* r = std::get_if<EqRefusal>(&taken)) {
            if (f.on) return *r;
            ++skipped;
            continue;
        }
        plan.bands[static_cast<std::size_t>(next++)] = std::get<EqPlannedBand>(taken);
        plan.warnings.insert(plan.warnings.end(), warnings.begin(), warnings.end());
    }
    for (; next < kBandsPerMic; ++next) {
        EqPlannedBand kept = CurrentBand(store, plan.mic, next);
        kept.type = Bypassed(kept.type);
        plan.bands[static_cast<std::size_t>(next)] = kept;
    }
    if (skipped > 0) plan.warnings.push_back(SkippedOff(skipped));
    return std::nullopt;
}

// ---------------------------------------------------------------------------
// Writing numbers without the locale: a program with a German locale must
// still write "2.5".

std::string Fixed(double value, int decimals) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::string("0");
}

const char* ExportType(std::int32_t plainType) {
    switch (plainType) {
    case kFilterParametric: return "PK";
    case kFilterLowShelf: return "LSC";
    case kFilterHighShelf: return "HSC";
    case kFilterHighPass: return "HPQ";
    default: return "LPQ";
    }
}

std::string BandParameters(const EqBand& band, std::int32_t plainType) {
    std::string s = "Fc " + std::to_string(static_cast<long>(band.frequency)) + " Hz";
    if (plainType == kFilterHighPass || plainType == kFilterLowPass)
        return s + " Q " + std::string(QTableText(band.qIndex));
    s += " Gain " + Fixed(band.gain, 1) + " dB Q ";
    if (plainType == kFilterParametric) return s + std::string(QTableText(band.qIndex));
    return s + Fixed(ShelfQFromSlope(QTableValue(band.qIndex), band.gain), 4);
}

bool Exportable(std::int32_t type) {
    return type >= 0 && type % kBypassOffset <= kFilterLowPass && type < 2 * kBypassOffset;
}

std::string BandLine(const EqBand& band, int number) {
    const std::string head = "Filter " + std::to_string(number) + ": ";
    if (!Exportable(band.type)) return "# " + head + "type code " + std::to_string(band.type) + " has no filter word";
    const std::int32_t plain = band.type % kBypassOffset;
    return head + (band.type >= kBypassOffset ? "OFF " : "ON ") + ExportType(plain) + " " + BandParameters(band, plain);
}

// The export keeps the slot the type uses; a bypassed parametric band's Q is
// its parametric slot (3), the one it uses again when the bypass is cleared.
EqBands ExportBands(const ParamStore& store, int mic) {
    EqBands bands = LoadEqBands(store, mic);
    for (int b = 0; b < kBandsPerMic; ++b) {
        EqBand& band = bands[static_cast<std::size_t>(b)];
        band.frequency = static_cast<float>(store.Shown(BandAddress(mic, b, kSlotFrequency)));
        band.qIndex = std::clamp(store.Shown(BandAddress(mic, b, QSlot(band.type))), 0, kQTableLast);
    }
    return bands;
}

}  // namespace

double ShelfSlopeFromQ(double q, double gainDb) {
    const double a = std::pow(10.0, gainDb / 40.0);
    return 1.0 / ((1.0 / (q * q) - 2.0) / (a + 1.0 / a) + 1.0);
}

double ShelfQFromSlope(double slope, double gainDb) {
    const double a = std::pow(10.0, gainDb / 40.0);
    return 1.0 / std::sqrt((a + 1.0 / a) * (1.0 / slope - 1.0) + 2.0);
}

double QFromBandwidth(double octaves) {
    const double half = std::exp2(octaves / 2.0);
    return 1.0 / (half - 1.0 / half);
}

EqImportResult PlanEqImport(std::string_view bytes, int mic, const ParamStore& store) {
    EqImportResult result;
    auto decoded = DecodeText(bytes);
    if (auto* r = std::get_if<EqRefusal>(&decoded)) {
        result.refusal = *r;
        return result;
    }
    const std::vector<std::string_view> lines = SplitLines(std::get<std::string>(decoded));
    ParsedFile file;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (std::optional<EqRefusal> r = ReadLine(lines[i], static_cast<int>(i + 1), file)) {
            result.refusal = *r;
            return result;
        }
    }
    if (file.filters.empty()) result.refusal = Refuse(EqRefusalReason::NoFilter, 0);
    if (!result.refusal) result.refusal = CheckActiveCount(file.filters);
    if (result.refusal) return result;
    EqImportPlan plan;
    plan.mic = std::clamp(mic, 0, 1);
    plan.warnings = file.warnings;
    if (std::optional<EqRefusal> r = AssignBands(file, plan, store)) {
        result.refusal = *r;
        return result;
    }
    result.plan = std::move(plan);
    return result;
}

std::vector<EqBandChange> EqImportChanges(const EqImportPlan& plan, const ParamStore& store) {
    std::vector<EqBandChange> changes;
    auto add = [&](ParamAddress address, std::int32_t raw) {
        if (store.Shown(address) != raw) changes.push_back({address, raw});
    };
    for (int b = 0; b < kBandsPerMic; ++b) {
        const EqPlannedBand& band = plan.bands[static_cast<std::size_t>(b)];
        add(BandAddress(plan.mic, b, kSlotType), band.type);
        if (!band.fromFilter) continue;
        add(BandAddress(plan.mic, b, kSlotFrequency), band.frequency);
        if (band.setsGain) add(BandAddress(plan.mic, b, kSlotGain), band.gainStep);
        add(BandAddress(plan.mic, b, QSlot(band.type)), band.qIndex);
    }
    return changes;
}

EqBands PlannedEqBands(const EqImportPlan& plan, const ParamStore& store) {
    ParamStore after = store;
    for (const EqBandChange& c : EqImportChanges(plan, store)) after.SetShown(c.address, c.raw);
    return LoadEqBands(after, plan.mic);
}

std::string ExportEqText(const ParamStore& store, int mic) {
    mic = std::clamp(mic, 0, 1);
    std::string text = "# TR640 microphone " + std::to_string(mic + 1) + ", five EQ bands\n";
    const EqBands bands = ExportBands(store, mic);
    for (int b = 0; b < kBandsPerMic; ++b) text += BandLine(bands[static_cast<std::size_t>(b)], b + 1) + "\n";
    return text;
}

std::string ExportEqCurveText(const ParamStore& store, int mic) {
    mic = std::clamp(mic, 0, 1);
    std::string text =
        "* TR640 microphone " + std::to_string(mic + 1) + " EQ response, frequency (Hz) and level (dB)\n";
    const EqBands bands = ExportBands(store, mic);
    for (int b = 0; b < kBandsPerMic; ++b) text += "* " + BandLine(bands[static_cast<std::size_t>(b)], b + 1) + "\n";
    EqResponse response;
    EvaluateEq(store, mic, response);
    for (int i = 0; i < FrequencyGrid::kPoints; ++i)
        text += Fixed(FrequencyGrid::Frequency(i), 2) + " " + Fixed(response.combined[static_cast<std::size_t>(i)], 3) +
                "\n";
    return text;
}

}  // namespace tr640
