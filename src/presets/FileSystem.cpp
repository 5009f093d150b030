// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/FileSystem.h"

#include <cstddef>
#include <limits>
#include <optional>
#include <utility>

namespace tr640 {

namespace {

constexpr std::string_view kProductWord = "VELK38 ";
constexpr std::string_view kDeviceTypeWord = "QORNIS ";
constexpr std::string_view kLineIndexWord = "Intoal: ";
constexpr std::string_view kChecksumWord = "CCCCK: ";

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Error texts quote what could not be read; a damaged file can hold a line of
// any length and any bytes, so the quote is cut short and made printable.
std::string Quote(std::string_view text) {
    constexpr std::size_t kLimit = 24;
    std::string out = "'";
    for (std::size_t i = 0; i < text.size() && i < kLimit; ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        out += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
    }
    if (text.size() > kLimit) out += "...";
    out += "'";
    return out;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::optional<std::int32_t> ParseInt32(std::string_view text) {
    bool negative = false;
    if (!text.empty() && text.front() == '-') {
        negative = true;
        text.remove_prefix(1);
    }
    if (text.empty()) return std::nullopt;
    // Accumulate the magnitude in 64 bits and stop as soon as it leaves the
    // 32-bit range, so a line of a million digits costs one pass and no
    // overflow.
    constexpr std::int64_t kMaxMagnitude = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
    std::int64_t magnitude = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        magnitude = magnitude * 10 + (c - '0');
        if (magnitude > kMaxMagnitude) return std::nullopt;
    }
    if (negative) return static_cast<std::int32_t>(-magnitude);
    if (magnitude == kMaxMagnitude) return std::nullopt;
    return static_cast<std::int32_t>(magnitude);
}

// Field 0 runs up to the first space, field 1 from there to the second space
// (or the end of the line), and so on. A line with fewer spaces than `field`
// has no such field.
std::optional<std::string_view> Field(std::string_view line, int field) {
    std::size_t start = 0;
    for (int f = 0; f < field; ++f) {
        const std::size_t space = line.find(' ', start);
        if (space == std::string_view::npos) return std::nullopt;
        start = space + 1;
    }
    const std::size_t end = line.find(' ', start);
    return line.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

// Reads field `field` of clear line `lineIndex` as an integer, or explains
// in `error` why it cannot.
bool ReadIntField(const std::vector<std::string>& clear, std::size_t lineIndex, int field, std::int32_t& out,
                  std::string& error) {
    if (lineIndex >= clear.size()) {
        error = "The file has no line " + std::to_string(lineIndex + 1) + ".";
        return false;
    }
    const std::optional<std::string_view> text = Field(clear[lineIndex], field);
    if (!text) {
        error = "Line " + std::to_string(lineIndex + 1) + " has no field " + std::to_string(field) + ".";
        return false;
    }
    const std::optional<std::int32_t> value = ParseInt32(*text);
    if (!value) {
        error = "Line " + std::to_string(lineIndex + 1) + ": " + Quote(*text) + " is not a valid integer value.";
        return false;
    }
    out = *value;
    return true;
}

PresetReadResult Failure(std::string message) {
    PresetReadResult result;
    result.outcome = PresetOutcome::Error;
    result.message = std::move(message);
    return result;
}

PresetReadResult Outcome(PresetOutcome outcome) {
    PresetReadResult result;
    result.outcome = outcome;
    return result;
}

// The device image as a file would leave it, built up before anything is
// stored so that a file failing any check leaves the real image untouched.
// Later lines for the same address replace earlier ones, as storing in file
// order would.
class StagedImage {
public:
    void Set(int page, int index, std::int32_t value) {
        const std::size_t slot = Slot(page, index);
        values_[slot] = value;
        written_[slot] = true;
    }

    void StoreInto(ParamStore& store) const {
        for (int page = 0; page < ParamStore::kPages; ++page) {
            for (int index = 0; index < ParamStore::kDeviceWidth; ++index) {
                const std::size_t slot = Slot(page, index);
                if (written_[slot]) store.SetDevice(page, index, values_[slot]);
            }
        }
    }

private:
    static constexpr std::size_t kSlots = std::size_t{ParamStore::kPages} * ParamStore::kDeviceWidth;

    static std::size_t Slot(int page, int index) {
        return static_cast<std::size_t>(page) * ParamStore::kDeviceWidth + static_cast<std::size_t>(index);
    }

    std::array<std::int32_t, kSlots> values_{};
    std::array<bool, kSlots> written_{};
};

}  // namespace

std::int32_t PresetChecksum(std::int32_t sum) {
    // Both the XOR and the +1 are taken modulo 2^32 so that sums near the
    // ends of the 32-bit range wrap instead of overflowing.
    const std::uint32_t wrapped = (static_cast<std::uint32_t>(sum) ^ 0xFFFFu) + 1u;
    return static_cast<std::int32_t>(wrapped) % 256;
}

std::string ScrambleLine(std::string_view clear) {
    std::string disk;
    disk.reserve(clear.size() * 2);
    for (std::size_t i = 0; i < clear.size(); ++i) {
        const unsigned byte = static_cast<unsigned char>(clear[i]) ^ kPresetLineKey[i % kPresetLineKey.size()];
        disk += kHexDigits[byte >> 4];
        disk += kHexDigits[byte & 0x0F];
    }
    return disk;
}

bool UnscrambleLine(std::string_view disk, std::string& clear, std::string& error) {
    clear.clear();
    clear.reserve(disk.size() / 2);
    // An odd character at the end completes no pair and is dropped.
    for (std::size_t pair = 0; pair < disk.size() / 2; ++pair) {
        const int high = HexValue(disk[2 * pair]);
        const int low = HexValue(disk[2 * pair + 1]);
        if (high < 0 || low < 0) {
            error = Quote(disk.substr(2 * pair, 2)) + " is not a valid hexadecimal number.";
            return false;
        }
        const unsigned byte = static_cast<unsigned>(high * 16 + low) ^ kPresetLineKey[pair % kPresetLineKey.size()];
        clear += static_cast<char>(byte);
    }
    return true;
}

std::vector<std::string> WritePresetLines(const ParamStore& store) {
    std::vector<std::string> clear;
    clear.reserve(kPresetLineCount);
    clear.push_back(std::string(kProductWord) + std::to_string(kPresetProductId ^ kPresetHeaderMask));
    clear.push_back(std::string(kDeviceTypeWord) + std::to_string(kPresetDeviceType ^ kPresetHeaderMask));

    // Each page's count is written as its last index, inclusive, so the file
    // carries one value more per page than transfers cover (16 and 84 lines);
    // files exchanged between installations depend on exactly this layout.
    std::int32_t lineIndex = 1;
    std::uint32_t sum = 0;
    for (int page = 0; page <= kLastPage; ++page) {
        for (int index = 0; index <= kPageCount[page]; ++index) {
            ++lineIndex;
            const std::int32_t address = page * 256 + index;
            const std::int32_t value = store.Shown(page, index);
            clear.push_back(std::to_string(address ^ lineIndex) + " " + std::to_string(value ^ lineIndex));
            sum += static_cast<std::uint32_t>(value);
        }
    }
    ++lineIndex;
    clear.push_back(std::string(kLineIndexWord) + std::to_string(lineIndex));
    clear.push_back(std::string(kChecksumWord) + std::to_string(PresetChecksum(static_cast<std::int32_t>(sum))));

    std::vector<std::string> lines;
    lines.reserve(clear.size());
    for (const std::string& line : clear) lines.push_back(ScrambleLine(line));
    return lines;
}

std::string JoinPresetLines(const std::vector<std::string>& lines) {
    std::size_t total = 0;
    for (const std::string& line : lines) total += line.size() + 2;
    std::string bytes;
    bytes.reserve(total);
    for (const std::string& line : lines) {
        bytes += line;
        bytes += "\r\n";
    }
    return bytes;
}

std::vector<std::string> SplitPresetLines(std::string_view bytes) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t end = bytes.find('\n', start);
        const std::size_t next = (end == std::string_view::npos) ? bytes.size() : end + 1;
        if (end == std::string_view::npos) end = bytes.size();
        std::string_view line = bytes.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
        start = next;
    }
    return lines;
}

PresetReadResult ReadPresetLines(const std::vector<std::string>& lines, ParamStore& store) {
    // Line indices are the data lines' keys and must stay 32-bit integers.
    if (lines.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
        return Failure("The file has too many lines.");
    }

    // Every line is decoded before anything is judged: a broken hex pair
    // anywhere makes the file unreadable, whatever its headers say.
    std::vector<std::string> clear(lines.size());
    std::string error;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (!UnscrambleLine(lines[i], clear[i], error)) {
            return Failure("Line " + std::to_string(i + 1) + ": " + error);
        }
    }

    std::int32_t product = 0;
    std::int32_t deviceType = 0;
    if (!ReadIntField(clear, 0, 1, product, error) || !ReadIntField(clear, 1, 1, deviceType, error)) {
        return Failure(error);
    }
    if ((product ^ kPresetHeaderMask) != kPresetProductId || (deviceType ^ kPresetHeaderMask) != kPresetDeviceType) {
        return Outcome(PresetOutcome::WrongDeviceType);
    }

    // From here on the file has at least two lines.
    const std::size_t last = clear.size() - 1;
    std::int32_t declaredIndex = 0;
    std::int32_t declaredChecksum = 0;
    if (!ReadIntField(clear, last - 1, 1, declaredIndex, error) ||
        !ReadIntField(clear, last, 1, declaredChecksum, error)) {
        return Failure(error);
    }
    if (declaredIndex != static_cast<std::int32_t>(last - 1)) return Outcome(PresetOutcome::Damaged);

    StagedImage staged;
    std::uint32_t sum = 0;
    int skipped = 0;
    for (std::size_t line = 2; line + 1 < last; ++line) {
        std::int32_t addressField = 0;
        std::int32_t valueField = 0;
        if (!ReadIntField(clear, line, 0, addressField, error) || !ReadIntField(clear, line, 1, valueField, error)) {
            return Failure(error);
        }
        const std::int32_t key = static_cast<std::int32_t>(line);
        const std::int32_t address = addressField ^ key;
        const std::int32_t value = valueField ^ key;
        // The value counts towards the checksum wherever it points; only
        // its storing depends on the address lying inside the device image.
        // Truncating division sends negative addresses to negative pages or
        // indices, which are skipped like any other address out of range.
        sum += static_cast<std::uint32_t>(value);
        const int page = address / 256;
        const int index = address % 256;
        if (ParamStore::InDeviceImage(page, index)) {
            staged.Set(page, index, value);
        } else {
            ++skipped;
        }
    }

    if (PresetChecksum(static_cast<std::int32_t>(sum)) != declaredChecksum) return Outcome(PresetOutcome::Damaged);

    staged.StoreInto(store);
    PresetReadResult result = Outcome(PresetOutcome::Accepted);
    result.skippedLines = skipped;
    return result;
}

}  // namespace tr640
