// SPDX-License-Identifier: GPL-3.0-or-later
// The bridge's command payloads on arbitrary bytes from the broker. The first
// byte picks the parser: a value (plain or in its JSON envelope), a JSON set,
// a mode number or a preset push. Besides staying free of crashes and
// sanitizer reports:
//  - a refused payload yields no change to send;
//  - every change accepted names a catalogue address and reads back as text
//    that is accepted again as the same raw value;
//  - a refused preset push leaves the store untouched.
#include "mqtt/BridgePayloads.h"
#include "model/ParamText.h"
#include "model/ParamStore.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

using namespace tr640;

void Check(bool condition) {
    if (!condition) std::abort();
}

const ParamEntry* EntryAt(int address) {
    for (const ParamEntry& e : ParamCatalogue())
        if (e.address == address && IsStateEntry(e)) return &e;
    return nullptr;
}

std::optional<std::int32_t> HeldZero(ParamAddress) { return 0; }

void CheckChanges(const ChangeList& list) {
    if (!list.ok) {
        Check(list.changes.empty());
        return;
    }
    for (const auto& [address, raw] : list.changes) {
        const ParamEntry* entry = EntryAt(address);
        Check(entry != nullptr);
        (void)FormatStateValue(*entry, raw);
    }
}

void Value(std::string_view payload) {
    const CommandEnvelope envelope = OpenEnvelope(payload);
    if (!envelope.ok) return;
    // The name is the text before the first space, the value the rest.
    const std::size_t space = envelope.value.find(' ');
    if (space == std::string::npos) return;
    CheckChanges(ParseOneChange(envelope.value.substr(0, space), envelope.value.substr(space + 1), HeldZero));
}

void Preset(std::string_view bytes) {
    ParamStore store;
    const ParamStore before = store;
    if (!ReadPresetPush(bytes, store).ok) {
        for (int page = 0; page < ParamStore::kPages; ++page)
            for (int index = 0; index < ParamStore::kDeviceWidth; ++index)
                Check(store.Device(page, index) == before.Device(page, index));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::string_view payload(reinterpret_cast<const char*>(data) + 1, size - 1);
    std::string transaction;
    switch (data[0] % 4) {
    case 0: Value(payload); break;
    case 1:
        // A JSON set from a client, and a state object as tr640ctl reads it.
        CheckChanges(ParseChangeSet(payload, HeldZero, transaction));
        CheckChanges(ReadStateJson(payload));
        break;
    case 2: {
        const ModeNumber mode = ParseModeNumber(payload);
        Check(!mode.ok || (mode.mode >= 1 && mode.mode <= 5));
        break;
    }
    default: Preset(payload); break;
    }
    return 0;
}
