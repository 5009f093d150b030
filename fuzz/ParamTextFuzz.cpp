// SPDX-License-Identifier: GPL-3.0-or-later
// tr640ctl's name and value parser on arbitrary text as typed: NAME=VALUE
// split, name look-up with suggestions, value parsing against the catalogue
// entry (every entry when the name is unknown) and formatting what parsed.
#include "model/ParamText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

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
            if (parsed.ok) (void)FormatParamValue(e, parsed.raw);
        }
        return 0;
    }
    const ParsedValue parsed = ParseParamValue(*entry, value, 0);
    if (parsed.ok) (void)FormatParamValue(*entry, parsed.raw);
    return 0;
}
