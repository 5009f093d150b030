// SPDX-License-Identifier: GPL-3.0-or-later
#include "link/hid/ReportDescriptor.h"

#include <algorithm>
#include <map>
#include <vector>

namespace tr640 {

ReportLengths ReportLengthsFromDescriptor(std::span<const std::uint8_t> descriptor) {
    struct Globals {
        std::uint32_t reportSize = 0;
        std::uint32_t reportCount = 0;
        std::uint32_t reportId = 0;
    };
    Globals globals;
    std::vector<Globals> stack;
    std::map<std::uint32_t, std::uint64_t> inputBits, outputBits;

    std::size_t at = 0;
    while (at < descriptor.size()) {
        const std::uint8_t prefix = descriptor[at];
        if (prefix == 0xFE) {
            // Long item: size byte, tag byte, data.
            if (at + 1 >= descriptor.size()) break;
            at += 3 + descriptor[at + 1];
            continue;
        }
        static constexpr std::size_t kSizes[] = {0, 1, 2, 4};
        const std::size_t size = kSizes[prefix & 0x03];
        if (at + 1 + size > descriptor.size()) break;
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < size; ++i) value |= static_cast<std::uint32_t>(descriptor[at + 1 + i]) << (8 * i);
        const std::uint8_t type = (prefix >> 2) & 0x03;
        const std::uint8_t tag = prefix >> 4;
        at += 1 + size;

        const std::uint64_t bits = static_cast<std::uint64_t>(globals.reportSize) * globals.reportCount;
        if (type == 0) {  // main
            if (tag == 0x8) inputBits[globals.reportId] += bits;
            if (tag == 0x9) outputBits[globals.reportId] += bits;
        } else if (type == 1) {  // global
            switch (tag) {
            case 0x7: globals.reportSize = value; break;
            case 0x8: globals.reportId = value; break;
            case 0x9: globals.reportCount = value; break;
            case 0xA: stack.push_back(globals); break;
            case 0xB:
                if (!stack.empty()) {
                    globals = stack.back();
                    stack.pop_back();
                }
                break;
            default: break;
            }
        }
    }

    auto longest = [](const std::map<std::uint32_t, std::uint64_t>& bitsById) -> std::size_t {
        std::uint64_t most = 0;
        for (const auto& [id, bits] : bitsById) most = std::max(most, bits);
        if (most == 0) return 0;
        return static_cast<std::size_t>((most + 7) / 8 + 1);
    };
    return {longest(inputBits), longest(outputBits)};
}

}  // namespace tr640
