// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/FileSystem.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace tr640 {
namespace {

constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();

using Entry = std::pair<std::int32_t, std::int32_t>;  // address, value

std::vector<std::string> Scrambled(const std::vector<std::string>& clear) {
    std::vector<std::string> disk;
    for (const std::string& line : clear) disk.push_back(ScrambleLine(line));
    return disk;
}

std::vector<std::string> Unscrambled(const std::vector<std::string>& disk) {
    std::vector<std::string> clear(disk.size());
    std::string error;
    for (std::size_t i = 0; i < disk.size(); ++i) EXPECT_TRUE(UnscrambleLine(disk[i], clear[i], error)) << error;
    return clear;
}

std::string ProductLine() { return "VELK38 " + std::to_string(kPresetProductId ^ kPresetHeaderMask); }
std::string TypeLine() { return "QORNIS " + std::to_string(kPresetDeviceType ^ kPresetHeaderMask); }

// A clear file holding `entries` in order, with a trailer that matches them.
std::vector<std::string> ClearFile(const std::vector<Entry>& entries) {
    std::vector<std::string> clear = {ProductLine(), TypeLine()};
    std::uint32_t sum = 0;
    for (const auto& [address, value] : entries) {
        const auto key = static_cast<std::int32_t>(clear.size());
        clear.push_back(std::to_string(address ^ key) + " " + std::to_string(value ^ key));
        sum += static_cast<std::uint32_t>(value);
    }
    clear.push_back("Intoal: " + std::to_string(clear.size()));
    clear.push_back("CCCCK: " + std::to_string(PresetChecksum(static_cast<std::int32_t>(sum))));
    return clear;
}

std::vector<std::int32_t> DeviceImage(const ParamStore& store) {
    std::vector<std::int32_t> image;
    for (int page = 0; page < ParamStore::kPages; ++page)
        for (int index = 0; index < ParamStore::kDeviceWidth; ++index) image.push_back(store.Device(page, index));
    return image;
}

// A store whose device image holds a distinct sentinel everywhere, so that
// any write by a reader shows.
ParamStore SentinelStore() {
    ParamStore store;
    for (int page = 0; page < ParamStore::kPages; ++page)
        for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store.SetDevice(page, index, -7000 - index);
    return store;
}

PresetOutcome Read(const std::vector<std::string>& clear) {
    ParamStore store;
    return ReadPresetLines(Scrambled(clear), store).outcome;
}

TEST(PresetChecksum, TruncatedRemainderAndWrapAround) {
    const std::vector<std::pair<std::int32_t, std::int32_t>> cases = {
        {300, 212}, {0, 0}, {-1, -255}, {-2, -254}, {kMax, 1}, {kMin, 0}, {kMin + 1, -1}, {0x7FFF0000, 0}};
    for (const auto& [sum, checksum] : cases) EXPECT_EQ(PresetChecksum(sum), checksum) << "S = " << sum;
}

TEST(PresetScramble, DiskFormIsUpperCaseHexAndRoundTrips) {
    const std::string disk = ScrambleLine("abc");
    EXPECT_EQ(disk.size(), 6u);
    EXPECT_EQ(disk.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    std::string clear, error;
    ASSERT_TRUE(UnscrambleLine(disk, clear, error));
    EXPECT_EQ(clear, "abc");

    std::string lower = disk + "F";  // lower case and a leftover character
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    ASSERT_TRUE(UnscrambleLine(lower, clear, error));
    EXPECT_EQ(clear, "abc");

    // The key restarts on every line and repeats every eight bytes.
    const std::string sixteen = ScrambleLine(std::string(16, 'x'));
    EXPECT_EQ(sixteen.substr(0, 16), sixteen.substr(16));
    EXPECT_NE(sixteen.substr(0, 2), sixteen.substr(2, 2));

    EXPECT_FALSE(UnscrambleLine(disk.substr(0, 2) + "G0", clear, error));
    EXPECT_NE(error.find("'G0'"), std::string::npos);
}

TEST(PresetWriter, WritesHeadersShownValuesInOrderAndTrailer) {
    ParamStore store;
    store.SetShown(0, 3, 41);
    store.SetShown(1, 83, -5);
    store.SetDevice(1, 0, 99);  // the device image is not what gets saved
    const std::vector<std::string> disk = WritePresetLines(store);
    ASSERT_EQ(disk.size(), static_cast<std::size_t>(kPresetLineCount));
    for (const std::string& line : disk) EXPECT_EQ(line.find_first_not_of("0123456789ABCDEF"), std::string::npos);

    std::vector<Entry> expected;
    for (int index = 0; index <= 15; ++index) expected.emplace_back(index, store.Shown(0, index));
    for (int index = 0; index <= 83; ++index) expected.emplace_back(256 + index, store.Shown(1, index));
    EXPECT_EQ(Unscrambled(disk), ClearFile(expected));
    EXPECT_EQ(Unscrambled(disk)[18], "274 18");  // page 1 index 0, value 0, key 18

    const std::string bytes = JoinPresetLines(disk);
    EXPECT_EQ(bytes.substr(0, disk[0].size() + 2), disk[0] + "\r\n");
    EXPECT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    EXPECT_EQ(SplitPresetLines(bytes), disk);
}

TEST(PresetReader, RoundTripRestoresEveryWrittenValue) {
    ParamStore source;
    const std::vector<std::int32_t> values = {kMin, kMax, -1, 0, 1, 123456789, -98765, 255, 256};
    for (int page = 0; page <= 1; ++page)
        for (int index = 0; index <= kPageCount[page]; ++index)
            source.SetShown(page, index, values[static_cast<std::size_t>(index + page) % values.size()] ^ index);

    ParamStore target = SentinelStore();
    const PresetReadResult result = ReadPresetLines(SplitPresetLines(JoinPresetLines(WritePresetLines(source))), target);
    ASSERT_EQ(result.outcome, PresetOutcome::Accepted) << result.message;
    for (int page = 0; page < ParamStore::kPages; ++page) {
        for (int index = 0; index < ParamStore::kDeviceWidth; ++index) {
            const bool written = page <= 1 && index <= kPageCount[page];
            EXPECT_EQ(target.Device(page, index), written ? source.Shown(page, index) : -7000 - index);
            EXPECT_EQ(target.Shown(page, index), 0);
        }
    }
}

TEST(PresetReader, AcceptsAnyOrderAndNumberOfDataLines) {
    EXPECT_EQ(Read(ClearFile({})), PresetOutcome::Accepted);
    EXPECT_EQ(Read(ClearFile({{0x0134, 150}, {0x0008, 3}, {0x0134, 80}})), PresetOutcome::Accepted);

    // The very line "258 2" at index 2 stands for page 1 index 0, value 0.
    ParamStore store = SentinelStore();
    const std::vector<std::string> clear = ClearFile({{256, 0}, {0x0134, 150}, {0x0134, 80}});
    ASSERT_EQ(clear[2], "258 2");
    ASSERT_EQ(ReadPresetLines(Scrambled(clear), store).outcome, PresetOutcome::Accepted);
    EXPECT_EQ(store.Device(0x0100), 0);
    EXPECT_EQ(store.Device(0x0134), 80);  // the later line for an address wins

    ParamStore empty = SentinelStore();
    ASSERT_EQ(ReadPresetLines(Scrambled(ClearFile({})), empty).outcome, PresetOutcome::Accepted);
    EXPECT_EQ(DeviceImage(empty), DeviceImage(SentinelStore()));
}

TEST(PresetReader, NeverComparesTheLeadingWords) {
    std::vector<std::vector<std::string>> variants = {ClearFile({{5, 6}}), ClearFile({{5, 6}, {7, 8}}),
                                                      ClearFile({{5, 6}})};
    variants[1][variants[1].size() - 2] = "Intoal: 3";  // wrong line index
    variants[2][1] = "QORNIS " + std::to_string(4 ^ kPresetHeaderMask);
    const PresetOutcome outcomes[] = {PresetOutcome::Accepted, PresetOutcome::Damaged, PresetOutcome::WrongDeviceType};
    for (std::size_t v = 0; v < variants.size(); ++v) {
        std::vector<std::string>& file = variants[v];
        ASSERT_EQ(Read(file), outcomes[v]);
        for (std::size_t line : {std::size_t{0}, std::size_t{1}, file.size() - 2, file.size() - 1})
            file[line] = (line % 2 ? "" : "X?") + file[line].substr(file[line].find(' '));
        EXPECT_EQ(Read(file), outcomes[v]);
    }
}

TEST(PresetReader, AllOrNothing) {
    std::vector<std::string> badChecksum = ClearFile({{0x0102, 4}, {0x0103, 1000}});
    badChecksum.back() = "CCCCK: 17";
    std::vector<std::string> badIndex = ClearFile({{0x0102, 4}});
    badIndex[3] = "Intoal: 4";
    std::vector<std::string> otherProduct = ClearFile({{0x0102, 4}});
    otherProduct[0] = "VELK38 " + std::to_string(0x6913 ^ kPresetHeaderMask);
    std::vector<std::string> badDataLine = ClearFile({{0x0102, 4}, {0x0103, 1000}, {0x0104, 7}});
    badDataLine[3] = "5";

    const std::vector<std::pair<std::vector<std::string>, PresetOutcome>> cases = {
        {badChecksum, PresetOutcome::Damaged},
        {badIndex, PresetOutcome::Damaged},
        {otherProduct, PresetOutcome::WrongDeviceType},
        {badDataLine, PresetOutcome::Error}};
    for (const auto& [clear, outcome] : cases) {
        ParamStore store = SentinelStore();
        EXPECT_EQ(ReadPresetLines(Scrambled(clear), store).outcome, outcome);
        EXPECT_EQ(DeviceImage(store), DeviceImage(SentinelStore()));
    }

    // Addresses outside the device image are dropped but still counted in
    // the checksum; indices past the page table yet inside the image are kept.
    ParamStore store = SentinelStore();
    const PresetReadResult result = ReadPresetLines(
        Scrambled(ClearFile({{3 * 256, 1}, {113, 2}, {-1, 3}, {-300, 4}, {kMax, 5}, {112, 6}})), store);
    ASSERT_EQ(result.outcome, PresetOutcome::Accepted);
    EXPECT_EQ(result.skippedLines, 5);
    std::vector<std::int32_t> expected = DeviceImage(SentinelStore());
    expected[112] = 6;
    EXPECT_EQ(DeviceImage(store), expected);
}

TEST(PresetReader, MalformedInputIsAnErrorNeverACrash) {
    const std::vector<std::string> valid = Scrambled(ClearFile({{1, 2}}));
    auto withClearLine = [&](std::size_t line, const std::string& text) {
        std::vector<std::string> disk = valid;
        disk[line] = ScrambleLine(text);
        return disk;
    };
    auto withDiskLine = [&](std::size_t line, const std::string& text) {
        std::vector<std::string> disk = valid;
        disk[line] = text;
        return disk;
    };
    const std::vector<std::vector<std::string>> bad = {
        {},                                          // no lines at all
        {valid[0]},                                  // fewer than two lines
        SplitPresetLines(JoinPresetLines(valid) + "\r\n"),  // extra empty line at the end
        withDiskLine(0, ""),
        withDiskLine(2, valid[2] + "zz"),            // non-hex pair in a data line
        withDiskLine(4, "4"),                        // trailer reduced to one leftover character
        withClearLine(1, "QORNIS"),                  // no field 1
        withClearLine(4, "CCCCK: "),                 // empty field 1
        withClearLine(4, "CCCCK: +5"),
        withClearLine(4, "CCCCK:  5"),
        withClearLine(2, "3 2147483648"),
        withClearLine(2, "3 -2147483649"),
        withClearLine(2, "3 " + std::string(100000, '9')),
        withDiskLine(2, std::string(1 << 20, 'A')),  // one enormous line
    };
    for (std::size_t i = 0; i < bad.size(); ++i) {
        ParamStore store;
        const PresetReadResult result = ReadPresetLines(bad[i], store);
        EXPECT_EQ(result.outcome, PresetOutcome::Error) << "case " << i;
        EXPECT_FALSE(result.message.empty());
        EXPECT_LT(result.message.size(), 120u) << result.message;
        EXPECT_EQ(DeviceImage(store), DeviceImage(ParamStore{}));
    }

    // Allowed spellings: the extreme values, leading zeros, "-0", trailing
    // fields, and an odd leftover character on a line.
    EXPECT_EQ(Read({ProductLine() + " x", TypeLine(), "-2147483648 -2147483648", "2147483647 -0", "Intoal: 04",
                    "CCCCK: " + std::to_string(PresetChecksum(-2147483646 + 3))}),
              PresetOutcome::Accepted);
    std::vector<std::string> odd = valid;
    odd[3] += "7";
    ParamStore store;
    EXPECT_EQ(ReadPresetLines(odd, store).outcome, PresetOutcome::Accepted);
}

TEST(PresetSplit, LineEndings) {
    using Lines = std::vector<std::string>;
    EXPECT_EQ(SplitPresetLines(""), Lines{});
    EXPECT_EQ(SplitPresetLines("A1\r\nB2\nC3"), (Lines{"A1", "B2", "C3"}));
    EXPECT_EQ(SplitPresetLines("A1\r\n"), Lines{"A1"});
    EXPECT_EQ(SplitPresetLines("A1\r\n\r\n"), (Lines{"A1", ""}));
    EXPECT_EQ(SplitPresetLines("\n"), Lines{""});
}

}  // namespace
}  // namespace tr640
