// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/Tr640Ctl.h"

#include "cli/BrokerUnit.h"
#include "cli/CtlScript.h"
#include "cli/DeviceSession.h"
#include "cli/EqCommands.h"
#include "cli/ExitCodes.h"
#include "cli/FrameLog.h"
#include "link/hid/HidapiPlatform.h"
#include "model/Language.h"
#include "model/ParamCatalogue.h"
#include "model/ParamText.h"
#include "presets/PresetFlow.h"
#include "virtualdevice/VirtualHidBus.h"
#include "virtualdevice/VirtualTr640.h"

#include <CLI/CLI.hpp>

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>

#ifndef TR640_VERSION
#define TR640_VERSION "0"
#endif

namespace tr640 {

namespace {

constexpr char kExitCodesHelp[] =
    "Exit codes:\n"
    "  0    done\n"
    "  2    usage error: unknown command or name, bad or out-of-range value,\n"
    "       several units and no --serial\n"
    "  3    no TR640 present, or the unit went away\n"
    "  4    a TR640 is present but cannot be opened (udev rule missing)\n"
    "  5    no answer from the unit in time\n"
    "  6    the unit refused a frame (error status)\n"
    "  7    a read-back differs from what was written; preset diff: files differ\n"
    "  8    a preset file cannot be read, is not a TR640 preset, or cannot be written;\n"
    "       an EQ file cannot be read, is refused, or cannot be written;\n"
    "       the --log file cannot be written\n"
    "  9    another program (the windows, tr640-bridge) holds the unit\n"
    "  10   --broker: the broker cannot be reached, refused the credentials, or went away\n"
    "  11   --broker: no tr640-bridge is online there, or it reports the unit offline\n"
    "  130  interrupted (Ctrl-C)\n";

struct Options {
    DeviceChoice choice;
    bool virtualUnit = false;
    double timeoutSeconds = 10;
    bool json = false;
    bool quiet = false;
    bool verbose = false;
    std::string logFile;
    FrameLog* frameLog = nullptr;  // made once the options are read
    bool force = false;
    std::vector<std::string> names;
    std::vector<std::string> assignments;
    std::string file;
    std::string otherFile;
    int mode = 0;
    std::string scriptFile;  // -f
    bool keepGoing = false;
    std::string broker;  // --broker, or TR640_BROKER
    std::string credentialsFile;
    std::string caFile;
    std::string baseTopic = "tr640";
};

std::string Hex4(int address) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(address) & 0xFFFFu);
    return text;
}

// Ends a command: one line on stderr for a failure, the code for the shell.
class Reporter {
public:
    explicit Reporter(CtlEnvironment& env, std::string where = {}) : env_(env), where_(std::move(where)) {}
    int Fail(int code, const std::string& message) {
        env_.err << "tr640ctl: " << where_ << message << "\n";
        return code;
    }
    int Fail(const Failure& f) { return Fail(f.code, f.message); }

private:
    CtlEnvironment& env_;
    std::string where_;  // "FILE:LINE: " for a script's line
};

// Where a command's unit comes from: the test's platform, a virtual TR640 of
// its own (--virtual), or the machine's HID devices.
class PlatformHolder {
public:
    PlatformHolder(CtlEnvironment& env, bool virtualUnit) {
        if (env.platform) {
            platform_ = env.platform;
        } else if (virtualUnit) {
            bus_ = std::make_unique<VirtualHidBus>();
            unit_ = std::make_unique<VirtualTr640>();
            bus_->Plug(VirtualTr640Info("VIRTUAL-1"), std::make_shared<VirtualTr640Endpoint>(*unit_));
            platform_ = bus_.get();
        } else {
            hidapi_ = std::make_unique<HidapiPlatform>();
            platform_ = hidapi_.get();
        }
    }
    HidPlatform& Get() { return *platform_; }

protected:
    std::unique_ptr<VirtualTr640> unit_;
    std::unique_ptr<VirtualHidBus> bus_;
    std::unique_ptr<HidapiPlatform> hidapi_;
    HidPlatform* platform_ = nullptr;
};

// The unit over its own HID link, on the platform it comes from. The
// platform is the first base so that it outlives the session.
class LocalUnit final : private PlatformHolder, public DeviceSession {
public:
    LocalUnit(CtlEnvironment& env, bool virtualUnit, int timeoutMs)
        : PlatformHolder(env, virtualUnit), DeviceSession(Get(), timeoutMs, env.interrupted, env.handTicks) {
        OnFirstFrameWritten(env.firstFrameWritten);
        if (!env.lockDirectory.empty()) {
            LockUnitsIn(env.lockDirectory);
        } else if (hidapi_) {
            LockUnitsIn(UnitLock::DefaultDirectory());
        }
    }
};

// The way to the unit for one run of tr640ctl: made when the first command
// needs it and kept for the commands after it, so that a script pays the
// unit's connection once. A connection that failed is not used again; the
// next command connects anew.
class UnitKeeper {
public:
    UnitKeeper(CtlEnvironment& env, const Options& o) : env_(env), o_(o) {}
    ~UnitKeeper() { Drop(); }
    UnitKeeper(const UnitKeeper&) = delete;
    UnitKeeper& operator=(const UnitKeeper&) = delete;

    // The way to the unit, connected or not (`list` needs no connection).
    UnitAccess& Access() {
        if (!unit_) unit_ = Make();
        return *unit_;
    }
    // The connected unit, or null with the reason in `failure`.
    UnitAccess* Connected(Failure& failure) {
        if (connected_) return unit_.get();
        if (Access().Connect(o_.choice)) {
            connected_ = true;
            return unit_.get();
        }
        failure = unit_->Failed();
        Drop();
        return nullptr;
    }
    // Ends the connection when its last step failed.
    void DropIfFailed() {
        if (unit_ && unit_->Failed().code != kExitOk) Drop();
    }

private:
    std::unique_ptr<UnitAccess> Make() {
        const int timeoutMs = static_cast<int>(o_.timeoutSeconds * 1000);
        if (o_.broker.empty()) {
            auto unit = std::make_unique<LocalUnit>(env_, o_.virtualUnit, timeoutMs);
            unit->LogFramesTo(o_.frameLog);
            return unit;
        }
        MqttSettings settings;
        settings.broker = *ParseBrokerUrl(o_.broker).address;  // checked with the options
        settings.credentials = o_.credentialsFile.empty() ? CredentialsFromEnvironment()
                                                          : ReadCredentialsFile(o_.credentialsFile).credentials;
        settings.caFile = o_.caFile;
        settings.clientId = "tr640ctl-" + std::to_string(::getpid());
        return std::make_unique<BrokerUnit>(settings, o_.baseTopic, timeoutMs, env_.interrupted);
    }
    void Drop() {
        unit_.reset();
        connected_ = false;
    }

    CtlEnvironment& env_;
    const Options& o_;
    std::unique_ptr<UnitAccess> unit_;
    bool connected_ = false;
};

QJsonObject ParamJson(const ParamEntry& e, std::int32_t raw) {
    QJsonObject o;
    o["name"] = QString::fromStdString(e.name);
    o["address"] = QString::fromStdString(Hex4(e.address));
    o["value"] = QString::fromStdString(FormatParamValue(e, raw));
    o["raw"] = raw;
    return o;
}

std::vector<const ParamEntry*> Settings() {
    std::vector<const ParamEntry*> out;
    for (const ParamEntry& e : ParamCatalogue())
        if (e.format != ParamFormat::Command) out.push_back(&e);
    return out;
}

// Columns a UTF-8 text takes on a terminal: a Chinese character takes two.
std::size_t DisplayWidth(const std::string& text) {
    std::size_t width = 0;
    for (unsigned char c : text) {
        if ((c & 0xC0) == 0x80) continue;
        width += c >= 0xE0 ? 2 : 1;
    }
    return width;
}

std::string Padded(const std::string& text, std::size_t width) {
    const std::size_t used = DisplayWidth(text);
    return used >= width ? text + " " : text + std::string(width - used, ' ');
}

void PrintValues(CtlEnvironment& env, bool json, const std::vector<const ParamEntry*>& entries,
                 const std::function<std::int32_t(const ParamEntry&)>& raw) {
    if (json) {
        QJsonArray list;
        for (const ParamEntry* e : entries) list.append(ParamJson(*e, raw(*e)));
        env.out << QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
        return;
    }
    for (const ParamEntry* e : entries)
        env.out << Padded(e->name, 26) << Padded(FormatParamValue(*e, raw(*e)), 14) << "(raw " << raw(*e) << ")\n";
}

// The unknown-name message with the nearest names.
std::string UnknownName(const std::string& name) {
    std::string text = "unknown parameter '" + name + "'";
    const std::vector<std::string> near = NearestParamNames(name);
    if (!near.empty()) {
        text += "; did you mean ";
        for (std::size_t i = 0; i < near.size(); ++i) text += (i ? ", " : "") + near[i];
        text += "?";
    }
    return text + " ('tr640ctl names' lists them all)";
}

// The eq commands' view of a session; a failed step is reported by the
// session's own failure.
class SessionEqUnit final : public EqUnit {
public:
    explicit SessionEqUnit(UnitAccess& s) : s_(s) {}
    const ParamStore& Values() const override { return s_.Values(); }
    bool SendAndReadBack(const std::vector<std::pair<int, std::int32_t>>& changes) override {
        failed = !s_.SendChanges(changes) || !s_.ReadBack(false);
        return !failed;
    }
    bool failed = false;

private:
    UnitAccess& s_;
};

// A change asked on the command line, with its entry once it is found.
struct Wanted {
    const ParamEntry* entry = nullptr;
    ParamChange change;
    std::string text;  // as typed
    bool clamped = false;
    std::string aimed;  // the number a step aimed at
};

class Commands {
public:
    Commands(CtlEnvironment& env, const Options& o, UnitKeeper& unit, std::string where = {})
        : env_(env), o_(o), unit_(unit), report_(env, std::move(where)) {}

    int Names() {
        if (o_.json) {
            QJsonArray list;
            for (const ParamEntry* e : Settings()) {
                QJsonObject item;
                item["name"] = QString::fromStdString(e->name);
                item["address"] = QString::fromStdString(Hex4(e->address));
                item["range"] = QString::fromStdString(ParamRangeText(*e));
                item["description"] = QString::fromStdString(e->description);
                list.append(item);
            }
            env_.out << QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
            return kExitOk;
        }
        for (const ParamEntry* e : Settings())
            env_.out << Padded(e->name, 26) << Padded(ParamRangeText(*e), 30) << e->description << "\n";
        return kExitOk;
    }

    int List() {
        const std::vector<UnitListing> units = unit_.Access().List();
        if (units.empty() && unit_.Access().Failed().code != kExitOk) return report_.Fail(unit_.Access().Failed());
        if (units.empty()) return report_.Fail(kExitNoUnit, "no TR640 found");
        bool anyOpen = false;
        QJsonArray list;
        for (const UnitListing& u : units) {
            anyOpen = anyOpen || (u.accessError.empty() && u.offline.empty());
            if (o_.json) {
                QJsonObject item;
                item["path"] = QString::fromStdString(u.info.path);
                item["serial"] = QString::fromStdString(u.info.serial);
                item["product"] = QString::fromStdString(u.info.productName);
                item["accessible"] = u.accessError.empty() && u.offline.empty();
                if (!u.accessError.empty()) item["error"] = QString::fromStdString(u.accessError);
                if (!u.offline.empty()) item["offline"] = QString::fromStdString(u.offline);
                list.append(item);
                continue;
            }
            env_.out << Padded(u.info.path, 20) << Padded(u.info.serial.empty() ? "-" : u.info.serial, 14)
                     << Padded(u.info.productName.empty() ? "-" : u.info.productName, 16)
                     << UnitState(u) << "\n";
        }
        if (o_.json) env_.out << QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
        if (anyOpen) return kExitOk;
        return o_.broker.empty() ? kExitNoAccess : kExitOffline;
    }

    static std::string UnitState(const UnitListing& u) {
        if (!u.offline.empty()) return "offline: " + u.offline;
        if (u.accessError.empty()) return "ok";
        return "no access: " + u.accessError +
               " (install the udev rule 70-tr640.rules, see 'Access to the device' in the README)";
    }

    int Dump() {
        return WithUnit([&](UnitAccess& s) -> int {
            PrintValues(env_, o_.json, Settings(), [&](const ParamEntry& e) { return s.Values().Device(e.address); });
            return kExitOk;
        });
    }

    int Get() {
        std::vector<const ParamEntry*> entries;
        for (const std::string& name : o_.names) {
            const ParamEntry* e = FindParam(name);
            if (!e || e->format == ParamFormat::Command) return report_.Fail(kExitUsage, UnknownName(name));
            entries.push_back(e);
        }
        return WithUnit([&](UnitAccess& s) -> int {
            PrintValues(env_, o_.json, entries, [&](const ParamEntry& e) { return s.Values().Device(e.address); });
            return kExitOk;
        });
    }

    int Set() {
        // Everything is checked before the unit is even looked for.
        std::vector<Wanted> wanted;
        for (const std::string& a : o_.assignments) {
            Wanted w;
            w.text = a;
            if (!ParseParamChange(a, w.change)) return report_.Fail(kExitUsage, "'" + a + "' is not NAME=VALUE");
            const std::string& name = w.change.name;
            w.entry = FindParam(name);
            if (w.entry && w.entry->format == ParamFormat::Command)
                return report_.Fail(kExitUsage, name + " is a command: use 'tr640ctl mode recall|save N'");
            if (!w.entry) return report_.Fail(kExitUsage, UnknownName(name));
            const AppliedChange checked = ApplyParamChange(*w.entry, w.change, 0);
            if (!checked.ok) return report_.Fail(kExitUsage, checked.error);
            wanted.push_back(std::move(w));
        }
        return WithUnit([&](UnitAccess& s) -> int { return SetOnUnit(s, wanted); });
    }

    int PresetPush() {
        ParamStore file;
        if (const int code = ReadPreset(o_.file, file)) return code;
        return WithUnit([&](UnitAccess& s) -> int {
            // As the windows' load does: page 1, then the file's system
            // settings as ordinary changes.
            if (!s.PushPreset(file)) return report_.Fail(s.Failed());
            const PresetFlow::SystemValues system = PresetFlow::SystemValuesOf(file);
            std::vector<std::string> differences;
            std::vector<int> confirmed;
            for (int index = 0; index < kPageCount[1]; ++index) confirmed.push_back(MakeAddress(1, index));
            for (const auto& [address, value] : system) confirmed.push_back(address);
            for (const int address : confirmed) {
                if (s.Values().Device(address) != file.Device(address))
                    differences.push_back(DifferenceText(address, file.Device(address), s.Values().Device(address)));
            }
            if (!differences.empty()) {
                for (const std::string& d : differences) env_.err << "  " << d << "\n";
                return report_.Fail(kExitDiffers, std::to_string(differences.size()) +
                                                      " values read back differ from the preset");
            }
            if (!o_.quiet)
                env_.out << "wrote " << o_.file << " to the unit (page 1 and the system settings, "
                         << confirmed.size() << " values confirmed)\n";
            return kExitOk;
        });
    }

    // The preset save's own rules: the name rule, and no file replaced that
    // the user did not name unless --force says so.
    int PresetPull() {
        return WithUnit([&](UnitAccess& s) -> int {
            const auto plan = PresetFlow::PlanSave(QString::fromStdString(o_.file));
            const std::string target = QDir::toNativeSeparators(QFileInfo(plan.path).absoluteFilePath()).toStdString();
            if (plan.replacesUnseenFile && !o_.force)
                return report_.Fail(kExitFile, target + " exists (--force replaces it)");
            const auto written = PresetFlow::WritePresetFile(plan.path, s.Values());
            if (!written.written)
                return report_.Fail(kExitFile, "The preset file could not be saved: " + target + ": " +
                                                   written.reason.toStdString());
            if (!o_.quiet) env_.out << "saved " << QDir::toNativeSeparators(written.path).toStdString() << "\n";
            return kExitOk;
        });
    }

    int PresetShow() {
        ParamStore file;
        if (const int code = ReadPreset(o_.file, file)) return code;
        PrintValues(env_, o_.json, Settings(), [&](const ParamEntry& e) { return file.Device(e.address); });
        return kExitOk;
    }

    int PresetDiff() {
        ParamStore a, b;
        if (const int code = ReadPreset(o_.file, a)) return code;
        if (const int code = ReadPreset(o_.otherFile, b)) return code;
        int differing = 0;
        for (int page = 0; page <= kLastPage; ++page) {
            for (int index = 0; index < kPageCount[page]; ++index) {
                const int address = MakeAddress(page, index);
                // The mode commands' addresses hold the last command, not a setting.
                if (address == kAddrModeRecall || address == kAddrModeSave) continue;
                if (a.Device(address) == b.Device(address)) continue;
                ++differing;
                env_.out << DifferenceText(address, a.Device(address), b.Device(address)) << "\n";
            }
        }
        return differing == 0 ? kExitOk : kExitDiffers;
    }

    int ModeRecall() {
        if (o_.mode < 1 || o_.mode > 5) return report_.Fail(kExitUsage, "the user mode is 1 to 5");
        return WithUnit([&](UnitAccess& s) -> int {
            const ParamStore before = s.Values();
            if (!s.RecallMode(o_.mode)) return report_.Fail(s.Failed());
            int changed = 0;
            for (int index = 0; index < kPageCount[1]; ++index) {
                const int address = MakeAddress(1, index);
                if (before.Device(address) == s.Values().Device(address)) continue;
                ++changed;
                if (!o_.quiet)
                    env_.out << DifferenceText(address, before.Device(address), s.Values().Device(address)) << "\n";
            }
            if (!o_.quiet)
                env_.out << "recalled user mode " << o_.mode << ": " << changed << " settings changed\n";
            return kExitOk;
        });
    }

    int ModeSave() {
        if (o_.mode < 1 || o_.mode > 5) return report_.Fail(kExitUsage, "the user mode is 1 to 5");
        return WithUnit([&](UnitAccess& s) -> int {
            if (!s.SaveMode(o_.mode)) return report_.Fail(s.Failed());
            if (!o_.quiet) env_.out << "saved the settings as user mode " << o_.mode << "\n";
            return kExitOk;
        });
    }

    int WithEqUnit(const std::function<int(EqUnit&)>& work) {
        return WithUnit([&](UnitAccess& s) -> int {
            SessionEqUnit unit(s);
            const int code = work(unit);
            return unit.failed ? report_.Fail(s.Failed()) : code;
        });
    }

private:
    int WithUnit(const std::function<int(UnitAccess&)>& work) {
        Failure failure;
        UnitAccess* unit = unit_.Connected(failure);
        if (!unit) return report_.Fail(failure);
        const int code = work(*unit);
        unit_.DropIfFailed();
        return code;
    }

    int SetOnUnit(UnitAccess& s, std::vector<Wanted>& wanted) {
        // Type and bypass share a slot: each value is taken on top of what
        // the unit holds and what this call set before it.
        std::map<int, std::int32_t> values;
        UnitChanges changes;
        for (Wanted& w : wanted) {
            const auto it = values.find(w.entry->address);
            const std::int32_t current = it != values.end() ? it->second : s.Values().Device(w.entry->address);
            const AppliedChange applied = ApplyParamChange(*w.entry, w.change, current);
            if (!applied.ok) return report_.Fail(kExitUsage, applied.error);
            w.clamped = applied.clamped;
            w.aimed = applied.aimed;
            values[w.entry->address] = applied.raw;
            changes.emplace_back(w.entry->address, applied.raw);
        }
        if (!s.SendChanges(changes)) return report_.Fail(s.Failed());
        bool systemPage = false;
        for (const auto& [address, raw] : values) systemPage = systemPage || PageOf(address) == 0;
        if (!s.ReadBack(systemPage)) return report_.Fail(s.Failed());
        int differing = 0;
        for (const auto& [address, raw] : values) {
            if (s.Values().Device(address) == raw) continue;
            ++differing;
            env_.err << "  " << DifferenceText(address, raw, s.Values().Device(address)) << "\n";
        }
        if (differing != 0)
            return report_.Fail(kExitDiffers, std::to_string(differing) + " values read back differ from those sent");
        ReportSet(s, wanted);
        return kExitOk;
    }

    // What was set, and for every value held in a step other than the one
    // asked, or a step stopped at a limit, a line on stderr: asked, taken
    // and why. Not a failure.
    void ReportSet(UnitAccess& s, const std::vector<Wanted>& wanted) {
        QJsonArray list;
        for (const Wanted& w : wanted) {
            const ParamEntry& e = *w.entry;
            const std::int32_t raw = s.Values().Device(e.address);
            const std::string asked = AskedText(w.text);
            if (w.clamped) {
                env_.err << e.name << ": asked " << asked << ", took " << FormatParamValue(e, raw)
                         << " (stopped at its limit, " << ParamRangeText(e) << ")\n";
            } else if (w.change.how != ChangeHow::Toggle) {
                const bool step = w.change.how != ChangeHow::Absolute;
                if (const std::optional<ValueRounding> r = RoundingOf(e, step ? w.aimed : w.change.value, raw))
                    env_.err << e.name << ": asked " << (step ? asked + " (" + w.aimed + ")" : w.change.value)
                             << ", took " << r->taken << " (" << r->why << ")\n";
            }
            if (o_.json) {
                QJsonObject o = ParamJson(e, raw);
                o["asked"] = QString::fromStdString(w.change.how == ChangeHow::Absolute ? w.change.value : asked);
                if (w.clamped) o["clamped"] = true;
                list.append(o);
            } else if (!o_.quiet) {
                env_.out << Padded(e.name, 26) << FormatParamValue(e, raw) << "\n";
            }
        }
        if (o_.json) env_.out << QJsonDocument(list).toJson(QJsonDocument::Indented).toStdString();
    }

    // "+=5" of "mic1.volume+=5"; the value alone of "NAME=VALUE".
    static std::string AskedText(const std::string& assignment) {
        const std::size_t at = assignment.find('=');
        if (at > 0 && (assignment[at - 1] == '+' || assignment[at - 1] == '-')) return assignment.substr(at - 1);
        return assignment.substr(at + 1);
    }

    // "name: a -> b", or by address where no name stands.
    std::string DifferenceText(int address, std::int32_t a, std::int32_t b) const {
        for (const ParamEntry& e : ParamCatalogue()) {
            if (e.address != address || e.format == ParamFormat::Command) continue;
            auto text = [&](std::int32_t v) {
                return v == UnitAccess::kMissing ? std::string("(not read back)") : FormatParamValue(e, v);
            };
            return e.name + ": " + text(a) + " -> " + text(b);
        }
        auto raw = [](std::int32_t v) {
            return v == UnitAccess::kMissing ? std::string("(not read back)") : std::to_string(v);
        };
        return Hex4(address) + ": " + raw(a) + " -> " + raw(b);
    }

    int ReadPreset(const std::string& path, ParamStore& store) {
        const auto read = PresetFlow::ReadPresetFile(QString::fromStdString(path), store);
        const std::string reason = read.reason.toStdString();
        switch (read.problem) {
        case PresetFlow::FileProblem::None: return kExitOk;
        case PresetFlow::FileProblem::NotFound: return report_.Fail(kExitFile, path + ": no such file");
        case PresetFlow::FileProblem::TooLarge:
            return report_.Fail(kExitFile, path + ": larger than 1 MiB, not a preset file");
        case PresetFlow::FileProblem::Unreadable: return report_.Fail(kExitFile, path + ": " + reason);
        case PresetFlow::FileProblem::WrongDeviceType:
            return report_.Fail(kExitFile, path + ": not a TR640 preset file (wrong product or device type)");
        case PresetFlow::FileProblem::Damaged:
            return report_.Fail(kExitFile, path + ": damaged preset file (line count or checksum wrong)");
        case PresetFlow::FileProblem::Malformed: return report_.Fail(kExitFile, path + ": malformed: " + reason);
        }
        return kExitFile;
    }

    CtlEnvironment& env_;
    const Options& o_;
    UnitKeeper& unit_;
    Reporter report_;
};

// The options that hold for the whole run, and for every line of a script.
void AddGlobalOptions(CLI::App& app, Options& o) {
    app.add_option("--device", o.choice.path, "use the unit at this path (see 'list')");
    app.add_option("--serial", o.choice.serial, "use the unit with this serial number");
    app.add_flag("--virtual", o.virtualUnit, "run against a virtual TR640 on a virtual HID bus");
    app.add_option("--timeout", o.timeoutSeconds, "seconds to wait for the unit at each step (default 10)")
        ->check(CLI::Range(0.5, 3600.0))
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.add_option("--broker", o.broker,
                   "reach the unit through the tr640-bridge on this broker: mqtt://HOST[:PORT] or mqtts://HOST[:PORT]"
                   " (default: TR640_BROKER)");
    app.add_option("--credentials", o.credentialsFile,
                   "with --broker: a file of username=... and password=... lines (default: TR640_MQTT_USERNAME"
                   " and TR640_MQTT_PASSWORD)");
    app.add_option("--cafile", o.caFile, "with --broker mqtts://: the CA certificate that signed the broker's");
    app.add_option("--base", o.baseTopic, "with --broker: the bridge's base topic (default tr640)");
    app.add_flag("--json", o.json, "print data as JSON");
    app.add_flag("-q,--quiet", o.quiet, "print nothing but data and errors");
    app.add_option("-f,--file", o.scriptFile,
                   "run the commands of FILE (one per line; - reads standard input) over one connection");
    app.add_flag("--keep-going", o.keepGoing,
                 "with -f: run every line even after one fails; the exit code is the first failure's");
    app.add_flag("-v,--verbose", o.verbose, "print the frames exchanged with the unit on stderr, as in --log");
    app.add_option("--log", o.logFile, "write every frame exchanged with the unit to FILE, one decoded line each")
        ->type_name("FILE");
}

// The commands; the one chosen is left in `run`.
void AddCommands(CLI::App& app, Options& o, Commands& c, std::function<int()>& run, CtlEnvironment& env) {
    auto on = [&run](CLI::App* sub, std::function<int()> f) { sub->callback([&run, f] { run = f; }); };
    on(app.add_subcommand("names", "list every parameter name with its range"), [&] { return c.Names(); });
    on(app.add_subcommand("list", "list the TR640 units present"), [&] { return c.List(); });
    on(app.add_subcommand("dump", "read and print every parameter"), [&] { return c.Dump(); });
    auto* get = app.add_subcommand("get", "read and print the named parameters");
    get->add_option("NAME", o.names, "parameter names (see 'names')")->required();
    on(get, [&] { return c.Get(); });
    auto* set = app.add_subcommand("set", "change parameters, confirmed by reading them back");
    set->add_option("NAME=VALUE", o.assignments, "for example mic1.eq3.gain=-3dB")->required();
    on(set, [&] { return c.Set(); });

    auto* preset = app.add_subcommand("preset", "preset files (*.Nddt)");
    preset->require_subcommand(1);
    auto* push = preset->add_subcommand("push", "write a preset file to the unit and check it");
    push->add_option("FILE", o.file)->required();
    on(push, [&] { return c.PresetPush(); });
    auto* pull = preset->add_subcommand("pull", "save the unit's settings to a preset file");
    pull->add_option("FILE", o.file)->required();
    pull->add_flag("--force", o.force, "replace an existing file the name rule leads to");
    on(pull, [&] { return c.PresetPull(); });
    auto* show = preset->add_subcommand("show", "print a preset file's values (no unit needed)");
    show->add_option("FILE", o.file)->required();
    on(show, [&] { return c.PresetShow(); });
    auto* diff = preset->add_subcommand("diff", "print where two preset files differ (no unit needed)");
    diff->add_option("A", o.file)->required();
    diff->add_option("B", o.otherFile)->required();
    on(diff, [&] { return c.PresetDiff(); });

    auto* mode = app.add_subcommand("mode", "the unit's five user modes");
    mode->require_subcommand(1);
    auto* recall = mode->add_subcommand("recall", "recall user mode N (1 to 5) and print what changed");
    recall->add_option("N", o.mode)->required();
    on(recall, [&] { return c.ModeRecall(); });
    auto* save = mode->add_subcommand("save", "save the settings as user mode N (1 to 5)");
    save->add_option("N", o.mode)->required();
    on(save, [&] { return c.ModeSave(); });

    EqCommandHooks eqHooks;
    eqHooks.env = &env;
    eqHooks.json = &o.json;
    eqHooks.quiet = &o.quiet;
    eqHooks.withUnit = [&c](const std::function<int(EqUnit&)>& work) { return c.WithEqUnit(work); };
    AddEqCommands(app, run, eqHooks);

}

// Parses `words` (the program's name left out) into `app`. A parse that
// ends the run by itself (help, version, a usage error) gives its exit code.
std::optional<int> Parse(CLI::App& app, const std::vector<std::string>& words, CtlEnvironment& env,
                         const std::string& where = {}) {
    std::vector<std::string> reversed(words.rbegin(), words.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e, env.out, env.err);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e, env.out, env.err);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e, env.out, env.err);
    } catch (const CLI::ParseError& e) {
        env.err << "tr640ctl: " << where << e.what() << " (see 'tr640ctl --help')\n";
        return kExitUsage;
    }
    return std::nullopt;
}

// --broker and its company, checked before anything is sent; TR640_BROKER
// stands for a --broker not given (but not beside --virtual or --device,
// which name a unit of this machine).
std::optional<int> CheckBrokerOptions(Options& o, CtlEnvironment& env) {
    const char* fromEnvironment = std::getenv("TR640_BROKER");
    if (o.broker.empty() && fromEnvironment && *fromEnvironment && !o.virtualUnit && o.choice.path.empty())
        o.broker = fromEnvironment;
    auto refuse = [&env](const std::string& why) {
        env.err << "tr640ctl: " << why << "\n";
        return kExitUsage;
    };
    if (o.broker.empty()) {
        if (!o.credentialsFile.empty() || !o.caFile.empty()) return refuse("--credentials and --cafile go with --broker");
        return std::nullopt;
    }
    if (o.virtualUnit) return refuse("--virtual is a unit of tr640ctl's own; --broker reaches the bridge's");
    const BrokerAddressResult address = ParseBrokerUrl(o.broker);
    if (!address.address) return refuse(address.error);
    if (o.baseTopic.empty() || o.baseTopic.find_first_of("+#") != std::string::npos)
        return refuse("the base topic must not be empty or hold + or #");
    if (!o.credentialsFile.empty()) {
        const CredentialsResult read = ReadCredentialsFile(o.credentialsFile);
        if (!read.credentials) return refuse(read.error);
    }
    return std::nullopt;
}

// A script's whole text: the file, or standard input for "-".
std::optional<std::string> ReadScript(const std::string& file, CtlEnvironment& env) {
    std::istream* in = env.in;
    std::ifstream opened;
    if (file != "-") {
        opened.open(file, std::ios::binary);
        in = &opened;
    }
    if (!in || !*in) {
        env.err << "tr640ctl: " << file << ": cannot be read\n";
        return std::nullopt;
    }
    std::string text(kMaxScriptBytes + 1, '\0');
    in->read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in->gcount()));
    if (text.size() > kMaxScriptBytes) {
        env.err << "tr640ctl: " << file << ": larger than 1 MiB, not a script\n";
        return std::nullopt;
    }
    return text;
}

// One line of a script, ready to run: its own options, the commands bound to
// the run's unit, and the command its words chose.
class ScriptStep {
public:
    ScriptStep(const Options& run, UnitKeeper& unit, CtlEnvironment& env, const std::string& where)
        : o_(run), commands_(env, o_, unit, where) {
        app_.require_subcommand(1);
        AddCommands(app_, o_, commands_, command_, env);
    }
    // The exit code when the words are not a command (after its line).
    std::optional<int> Parse(const std::vector<std::string>& words, CtlEnvironment& env, const std::string& where) {
        const auto named = [&words](const CLI::App* sub) { return sub->check_name(words.front()); };
        if (!words.front().starts_with('-') && app_.get_subcommands(named).empty()) {
            env.err << "tr640ctl: " << where << "'" << words.front() << "' is not a command ('tr640ctl --help' lists them)\n";
            return kExitUsage;
        }
        std::optional<int> refused = tr640::Parse(app_, words, env, where);
        if (refused && *refused == kExitOk) {
            env.err << "tr640ctl: " << where << "help is no command in a script\n";
            return kExitUsage;
        }
        return refused;
    }
    int Run() { return command_(); }

private:
    Options o_;
    Commands commands_;
    CLI::App app_{"", "tr640ctl"};
    std::function<int()> command_;
};

// The lines of a script over one connection. Every line is checked before
// the first one runs, so that a mistyped line at the end sends nothing.
int RunScript(const Options& o, CtlEnvironment& env) {
    const std::optional<std::string> text = ReadScript(o.scriptFile, env);
    if (!text) return kExitFile;
    const std::string name = o.scriptFile == "-" ? "<stdin>" : o.scriptFile;
    auto where = [&name](int line) { return name + ":" + std::to_string(line) + ": "; };
    const ScriptText script = SplitScript(*text);
    if (script.badLine != 0) {
        env.err << "tr640ctl: " << where(script.badLine) << script.error << "\n";
        return kExitUsage;
    }
    UnitKeeper unit(env, o);
    for (const ScriptLine& line : script.lines) {
        ScriptStep check(o, unit, env, where(line.number));
        if (const std::optional<int> refused = check.Parse(line.words, env, where(line.number))) return *refused;
    }

    int first = kExitOk, firstLine = 0, failed = 0;
    for (std::size_t i = 0; i < script.lines.size(); ++i) {
        const ScriptLine& line = script.lines[i];
        ScriptStep step(o, unit, env, where(line.number));
        step.Parse(line.words, env, where(line.number));
        const int code = step.Run();
        if (code == kExitOk) continue;
        ++failed;
        if (first == kExitOk) {
            first = code;
            firstLine = line.number;
        }
        const std::size_t left = script.lines.size() - i - 1;
        if (left == 0 || (o.keepGoing && code != kExitInterrupted)) continue;
        env.err << "tr640ctl: " << name << ": stopped at line " << line.number << " (exit code " << code << "), "
                << left << (left == 1 ? " command" : " commands") << " not run\n";
        return code;
    }
    if (failed > 1 || (failed == 1 && script.lines.size() > 1))
        env.err << "tr640ctl: " << name << ": " << failed << " of " << script.lines.size()
                << " commands failed, the first at line " << firstLine << " (exit code " << first << ")\n";
    return first;
}

}  // namespace

int RunTr640Ctl(const std::vector<std::string>& args, CtlEnvironment& env) {
    Options o;
    CLI::App app{"Sets up a Halvane TR640 from the command line: read and change its parameters,\n"
                 "push and pull preset files, recall and save its user modes.",
                 "tr640ctl"};
    app.footer(kExitCodesHelp);
    app.set_version_flag("--version", std::string("tr640ctl ") + TR640_VERSION);
    app.require_subcommand(0, 1);
    app.fallthrough();
    AddGlobalOptions(app, o);
    FrameLog frames;  // before the unit, which may write to it until it is closed
    UnitKeeper unit(env, o);
    Commands c(env, o, unit);
    std::function<int()> run;
    AddCommands(app, o, c, run, env);

    const std::vector<std::string> words(args.begin() + (args.empty() ? 0 : 1), args.end());
    if (const std::optional<int> ended = Parse(app, words, env)) return *ended;
    if (const std::optional<int> refused = CheckBrokerOptions(o, env)) return *refused;
    // Opened before anything is sent, so that a log that cannot be written
    // stops the command rather than leaving it unrecorded.
    if (o.verbose) frames.AlsoTo(env.err);
    std::string why;
    if (!o.logFile.empty() && !frames.WriteTo(o.logFile, why))
        return Reporter(env).Fail(kExitFile, "cannot write the log " + o.logFile + ": " + why);
    if (frames.Active()) o.frameLog = &frames;
    if (!o.scriptFile.empty() && run) {
        env.err << "tr640ctl: -f runs the commands of its file; give no command beside it\n";
        return kExitUsage;
    }
    if (!o.scriptFile.empty()) return RunScript(o, env);
    if (!run) {
        env.err << "tr640ctl: give a command, or -f FILE (see 'tr640ctl --help')\n";
        return kExitUsage;
    }
    return run();
}

}  // namespace tr640
