// SPDX-License-Identifier: GPL-3.0-or-later
// The name and value parser on arbitrary text as typed: NAME=VALUE split,
// name look-up with suggestions, value parsing against the catalogue entry
// (every entry when the name is unknown), and every value that parsed
// printed and read back to itself.
#include "model/ParamText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

// What a value prints as must read back as that very value.
void CheckRoundTrip(const tr640::ParamEntry& e, std::int32_t raw) {
    const tr640::ParsedValue back = tr640::ParseParamValue(e, tr640::FormatParamValue(e, raw), raw);
    if (!back.ok || back.raw != raw) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tr640;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    std::string name, value;
    if (!SplitAssignment(text, name, value)) {
        (void)NearestParamNames(text);
        return 0;
    }
    const ParamEntry* entry = FindParam(name);
    if (!entry) {
        (void)NearestParamNames(name);
        // The value against every parameter, with a current value from the input.
        const std::int32_t current = size > 0 ? static_cast<std::int32_t>(data[0]) - 20 : 0;
        for (const ParamEntry& e : ParamCatalogue()) {
            const ParsedValue parsed = ParseParamValue(e, value, current);
            if (parsed.ok && (parsed.raw < e.min && e.format != ParamFormat::Bypass)) std::abort();
            if (parsed.ok) CheckRoundTrip(e, parsed.raw);
        }
        return 0;
    }
    const ParsedValue parsed = ParseParamValue(*entry, value, 0);
    if (parsed.ok) CheckRoundTrip(*entry, parsed.raw);
    return 0;
}
