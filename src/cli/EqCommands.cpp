// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/EqCommands.h"

#include "cli/ExitCodes.h"
#include "eqgraph/EqPicture.h"
#include "model/ParamCatalogue.h"
#include "model/ValueKinds.h"

#include <CLI/CLI.hpp>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QString>

#include <charconv>
#include <cmath>
#include <fstream>
#include <iterator>

namespace tr640 {

namespace {

struct EqOptions {
    std::string mic;
    std::string file;
    std::string csv;
    std::string png;
    bool dryRun = false;
};

std::string Number(double value, int decimals) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

// Up to 15 significant digits, without trailing zeros: what the file said.
std::string Asked(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return ec == std::errc() ? std::string(buffer, end) : std::to_string(value);
}

const char* ValueName(EqValue v) {
    switch (v) {
    case EqValue::Frequency: return "frequency";
    case EqValue::Gain: return "gain";
    case EqValue::Q: return "Q";
    case EqValue::Slope: return "shelf slope";
    case EqValue::Bandwidth: return "bandwidth";
    case EqValue::Preamp: return "preamp";
    }
    return "value";
}

std::string WithUnit(EqValue v, double value) {
    switch (v) {
    case EqValue::Frequency: return Asked(value) + " Hz";
    case EqValue::Gain:
    case EqValue::Preamp: return Asked(value) + " dB";
    case EqValue::Bandwidth: return Asked(value) + " octaves";
    default: return Asked(value);
    }
}

std::string LinePrefix(int line) { return line > 0 ? "line " + std::to_string(line) + ": " : std::string(); }

std::string TypeWord(std::int32_t type) {
    const ParamEntry* e = FindParam("mic1.eq1.type");
    const std::int32_t plain = type % kBypassOffset;
    if (type >= 0 && type < 2 * kBypassOffset && plain < static_cast<int>(e->items.size()))
        return e->items[static_cast<std::size_t>(plain)].word;
    return "code " + std::to_string(type);
}

std::string MicName(int mic) { return "mic" + std::to_string(mic + 1); }

}  // namespace

std::string EqRefusalText(const EqRefusal& r) {
    const std::string at = LinePrefix(r.line);
    switch (r.reason) {
    case EqRefusalReason::Empty: return "the file is empty";
    case EqRefusalReason::TooLarge:
        return "larger than " + std::to_string(kEqFileMaxBytes >> 20) + " MiB, not a filter file";
    case EqRefusalReason::NotText: return "not a text file (binary data, or UTF-16 that does not decode)";
    case EqRefusalReason::NoFilter: return "no filter line (\"Filter: ON PK Fc ... Hz Gain ... dB Q ...\") in the file";
    case EqRefusalReason::Unreadable: return at + "cannot read '" + r.token + "'";
    case EqRefusalReason::TooManyFilters:
        return at + std::to_string(r.count) + " active filters; a microphone has " + std::to_string(kBandsPerMic) +
               " bands";
    case EqRefusalReason::UnsupportedType: return at + "the unit has no band for a " + r.token + " filter";
    case EqRefusalReason::OutOfRange:
        return at + "the " + ValueName(r.which) + " " + WithUnit(r.which, r.value) + " is outside what a band holds (" +
               Asked(r.min) + " to " + Asked(r.max) + ")";
    case EqRefusalReason::UnsupportedCommand:
        return at + "'" + r.token + ":' shapes the sound in a way the five bands cannot";
    }
    return at + "refused";
}

std::string EqWarningText(const EqWarning& w, int mic) {
    const std::string at = LinePrefix(w.line);
    switch (w.reason) {
    case EqWarningReason::Rounded:
        return at + ValueName(w.which) + " " + WithUnit(w.which, w.asked) + " taken as " + WithUnit(w.which, w.taken);
    case EqWarningReason::PreampNotApplied:
        return at + "preamp " + Asked(w.asked) + " dB not applied: the input volume is a percentage; set " +
               MicName(mic) + ".volume yourself if you need it";
    case EqWarningReason::OffFiltersSkipped: return std::to_string(w.count) + " switched-off filters left out";
    case EqWarningReason::CommandIgnored:
        return at + "'" + w.token + ":' ignored: only the filters are taken, all onto " + MicName(mic);
    }
    return at + "warning";
}

namespace {

class EqCommands {
public:
    EqCommands(EqCommandHooks hooks, const EqOptions& o) : h_(std::move(hooks)), o_(o), env_(*h_.env) {}

    int Import() {
        const std::optional<int> mic = Mic();
        if (!mic) return UsageMic();
        std::string bytes;
        if (const int code = ReadFile(bytes)) return code;
        // Refused files never reach the unit.
        EqImportResult r = PlanEqImport(bytes, *mic, DefaultBands());
        if (!r.plan) return Fail(kExitFile, o_.file + ": " + EqRefusalText(*r.refusal));
        if (o_.dryRun) return PrintImport(*r.plan, nullptr);
        return h_.withUnit([&](EqUnit& unit) -> int {
            const ParamStore before = Shown(unit.Values());
            const EqImportPlan plan = *PlanEqImport(bytes, *mic, before).plan;
            std::vector<std::pair<int, std::int32_t>> changes;
            for (const EqBandChange& c : EqImportChanges(plan, before)) changes.emplace_back(c.address, c.raw);
            if (!unit.SendAndReadBack(changes)) return kExitTimeout;  // the session's failure is reported
            const ParamStore after = Shown(unit.Values());
            int differing = 0;
            for (const auto& [address, raw] : changes)
                if (after.Shown(address) != raw) ++differing;
            if (differing != 0)
                return Fail(kExitDiffers, std::to_string(differing) + " values read back differ from those sent");
            return PrintImport(plan, &after);
        });
    }

    int Export() {
        const std::optional<int> mic = Mic();
        if (!mic) return UsageMic();
        return h_.withUnit([&](EqUnit& unit) -> int {
            const std::string text = ExportEqText(Shown(unit.Values()), *mic);
            if (o_.file.empty() || o_.file == "-") {
                env_.out << text;
                return kExitOk;
            }
            return WriteFile(o_.file, text);
        });
    }

    int Curve() {
        const std::optional<int> mic = Mic();
        if (!mic) return UsageMic();
        return h_.withUnit([&](EqUnit& unit) -> int {
            const ParamStore values = Shown(unit.Values());
            if (o_.csv.empty() && o_.png.empty()) {
                env_.out << ExportEqCurveText(values, *mic);
                return kExitOk;
            }
            if (!o_.csv.empty())
                if (const int code = WriteFile(o_.csv, ExportEqCurveText(values, *mic))) return code;
            if (!o_.png.empty()) return WritePicture(values, *mic);
            return kExitOk;
        });
    }

private:
    std::optional<int> Mic() const {
        if (o_.mic == "mic1") return 0;
        if (o_.mic == "mic2") return 1;
        return std::nullopt;
    }
    int UsageMic() { return Fail(kExitUsage, "'" + o_.mic + "' is not a microphone: mic1 or mic2"); }

    int Fail(int code, const std::string& message) {
        env_.err << "tr640ctl: " << message << "\n";
        return code;
    }

    // The reader works on the shown image, as the windows hold it.
    static ParamStore Shown(const ParamStore& values) {
        ParamStore s = values;
        s.CopyDeviceToShown();
        return s;
    }

    // Without a unit the bands no filter reaches are only known to be bypassed.
    static ParamStore DefaultBands() {
        ParamStore s;
        for (int mic = 0; mic < 2; ++mic)
            for (int b = 0; b < kBandsPerMic; ++b)
                for (int slot = 0; slot < kSlotsPerBand; ++slot)
                    s.SetBoth(BandAddress(mic, b, slot), EqBandDefault(b, slot));
        return s;
    }

    int ReadFile(std::string& bytes) {
        std::ifstream in(o_.file, std::ios::binary);
        if (!in) return Fail(kExitFile, o_.file + ": cannot open it");
        bytes.resize(kEqFileMaxBytes + 1);
        in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        bytes.resize(static_cast<std::size_t>(in.gcount()));
        if (in.bad()) return Fail(kExitFile, o_.file + ": cannot read it");
        return kExitOk;
    }

    int WriteFile(const std::string& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) return Fail(kExitFile, path + ": cannot write it");
        if (!*h_.quiet) env_.out << "wrote " << path << "\n";
        return kExitOk;
    }

    int WritePicture(const ParamStore& values, int mic) {
        if (!EqGraphPicture(values, mic).save(QString::fromStdString(o_.png), "PNG"))
            return Fail(kExitFile, o_.png + ": cannot write it");
        if (!*h_.quiet) env_.out << "wrote " << o_.png << "\n";
        return kExitOk;
    }

    // A band as the unit holds it, with the Q of the slot its type uses (a
    // bypassed parametric band's own Q is its parametric slot).
    struct HeldBand {
        std::int32_t type = 0, frequency = 0, qIndex = 0;
        double gain = 0;
        bool Bypassed() const { return type >= kBypassOffset && type < 2 * kBypassOffset; }
    };
    static HeldBand Held(const ParamStore& s, int mic, int b) {
        HeldBand h;
        h.type = s.Shown(BandAddress(mic, b, kSlotType));
        h.frequency = s.Shown(BandAddress(mic, b, kSlotFrequency));
        h.gain = s.Shown(BandAddress(mic, b, kSlotGain)) / 5.0 - 30.0;
        h.qIndex = s.Shown(BandAddress(mic, b, h.type % kBypassOffset == 0 ? kSlotQ : kSlotQOther));
        return h;
    }

    // What each band holds: the planned values for a dry run, the values read
    // back otherwise. Bands no filter reached keep values a dry run cannot know.
    int PrintImport(const EqImportPlan& plan, const ParamStore* unitAfter) {
        ParamStore planned = DefaultBands();
        for (const EqBandChange& c : EqImportChanges(plan, planned)) planned.SetBoth(c.address, c.raw);
        const ParamStore& held = unitAfter ? *unitAfter : planned;
        if (*h_.json) return PrintJson(plan, held, unitAfter != nullptr);
        for (int b = 0; b < kBandsPerMic; ++b) PrintBand(plan, held, b, unitAfter != nullptr);
        for (const EqWarning& w : plan.warnings) env_.out << "warning: " << EqWarningText(w, plan.mic) << "\n";
        if (!unitAfter) env_.out << "dry run: nothing sent\n";
        return kExitOk;
    }

    void PrintBand(const EqImportPlan& plan, const ParamStore& held, int b, bool known) {
        const EqPlannedBand& p = plan.bands[static_cast<std::size_t>(b)];
        const HeldBand band = Held(held, plan.mic, b);
        env_.out << "band " << b + 1 << ": ";
        if (!p.fromFilter && !known) {
            env_.out << "bypassed, its values kept\n";
            return;
        }
        env_.out << TypeWord(band.type) << (band.Bypassed() ? " (bypassed)" : "") << "  " << band.frequency << " Hz";
        if (!IsPassBand(band.type)) env_.out << "  " << Number(band.gain, 1) << " dB";
        env_.out << "  Q " << QTableText(band.qIndex);
        if (p.fromFilter) {
            env_.out << "    (line " << p.line << ": " << Asked(p.askedFrequency) << " Hz";
            if (p.setsGain) env_.out << ", " << Asked(p.askedGain) << " dB";
            const bool shelf = p.type % kBypassOffset == kFilterLowShelf || p.type % kBypassOffset == kFilterHighShelf;
            env_.out << (shelf ? ", slope " : ", Q ") << Asked(p.askedQ) << ")";
        } else {
            env_.out << "    (no filter: bypassed, values kept)";
        }
        env_.out << "\n";
    }

    int PrintJson(const EqImportPlan& plan, const ParamStore& held, bool known) {
        QJsonArray list;
        for (int b = 0; b < kBandsPerMic; ++b) {
            const EqPlannedBand& p = plan.bands[static_cast<std::size_t>(b)];
            const HeldBand band = Held(held, plan.mic, b);
            QJsonObject o;
            o["band"] = b + 1;
            if (p.fromFilter || known) {
                o["type"] = QString::fromStdString(TypeWord(band.type));
                o["frequency"] = band.frequency;
                o["gain"] = std::round(band.gain * 10) / 10;
                o["q"] = QTableValue(band.qIndex);
            }
            o["bypass"] = band.Bypassed();
            if (p.fromFilter)
                o["line"] = p.line;
            else
                o["kept"] = true;
            list.append(o);
        }
        QJsonArray warnings;
        for (const EqWarning& w : plan.warnings) warnings.append(QString::fromStdString(EqWarningText(w, plan.mic)));
        QJsonObject root;
        root["bands"] = list;
        root["warnings"] = warnings;
        env_.out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
        return kExitOk;
    }

    EqCommandHooks h_;
    const EqOptions& o_;
    CtlEnvironment& env_;
};

}  // namespace

void AddEqCommands(CLI::App& app, std::function<int()>& run, EqCommandHooks hooks) {
    auto options = std::make_shared<EqOptions>();
    auto commands = std::make_shared<EqCommands>(hooks, *options);
    auto on = [&run, options, commands](CLI::App* sub, int (EqCommands::*what)()) {
        sub->callback(
            [&run, options, commands, what] { run = [options, commands, what] { return (commands.get()->*what)(); }; });
    };
    auto* eq = app.add_subcommand("eq", "a microphone's five EQ bands in and out as filter files");
    eq->require_subcommand(1);
    auto* import = eq->add_subcommand("import",
                                      "take a filter file (Equalizer APO, room-measurement or automatic-EQ "
                                      "export) onto a microphone's bands");
    import->add_option("MIC", options->mic, "mic1 or mic2")->required();
    import->add_option("FILE", options->file)->required();
    import->add_flag("--dry-run", options->dryRun, "print what would be taken; needs no unit");
    on(import, &EqCommands::Import);
    auto* exp = eq->add_subcommand("export", "write a microphone's bands as Equalizer APO filter lines");
    exp->add_option("MIC", options->mic, "mic1 or mic2")->required();
    exp->add_option("FILE", options->file, "the file to write (default: standard output)");
    on(exp, &EqCommands::Export);
    auto* curve = eq->add_subcommand("curve", "write the response the EQ graph draws for a microphone");
    curve->add_option("MIC", options->mic, "mic1 or mic2")->required();
    curve->add_option("--csv", options->csv, "frequency and level per line, '*' comments (default: standard output)");
    curve->add_option("--png", options->png, "the graph's picture");
    on(curve, &EqCommands::Curve);
}

}  // namespace tr640
