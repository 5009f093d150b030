// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary file bytes through the preset reader. Besides staying free
// of crashes and sanitizer reports, the reader must keep two promises:
//  - only an accepted file changes the store, and then only its device image;
//  - an accepted file's values survive being written and read back.

#include "presets/FileSystem.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr std::int32_t kUntouched = 0x5EED;

tr640::ParamStore MarkedStore() {
    tr640::ParamStore store;
    for (int page = 0; page < tr640::ParamStore::kPages; ++page) {
        for (int index = 0; index < tr640::ParamStore::kDeviceWidth; ++index) {
            store.SetDevice(page, index, kUntouched);
        }
    }
    return store;
}

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    tr640::ParamStore store = MarkedStore();
    const tr640::PresetReadResult result = tr640::ReadPresetLines(tr640::SplitPresetLines(bytes), store);

    bool changed = false;
    for (int page = 0; page < tr640::ParamStore::kPages; ++page) {
        for (int index = 0; index < tr640::ParamStore::kShownWidth; ++index) {
            Check(store.Shown(page, index) == 0);
        }
        for (int index = 0; index < tr640::ParamStore::kDeviceWidth; ++index) {
            changed |= store.Device(page, index) != kUntouched;
        }
    }
    if (result.outcome != tr640::PresetOutcome::Accepted) {
        Check(!changed);
        Check((result.outcome == tr640::PresetOutcome::Error) == !result.message.empty());
        return 0;
    }

    // Save what was loaded, the way the program does after a refresh, and
    // read it back: the written file must be accepted and reproduce the
    // written addresses exactly.
    // The refresh copy stops one index short of what a file carries per
    // page, so that last index is carried over by hand.
    store.CopyDeviceToShown();
    for (int page = 0; page <= tr640::kLastPage; ++page) {
        store.SetShown(page, tr640::kPageCount[page], store.Device(page, tr640::kPageCount[page]));
    }
    tr640::ParamStore reread;
    const std::vector<std::string> written = tr640::WritePresetLines(store);
    Check(written.size() == static_cast<std::size_t>(tr640::kPresetLineCount));
    Check(tr640::ReadPresetLines(tr640::SplitPresetLines(tr640::JoinPresetLines(written)), reread).outcome ==
          tr640::PresetOutcome::Accepted);
    for (int page = 0; page <= tr640::kLastPage; ++page) {
        for (int index = 0; index <= tr640::kPageCount[page]; ++index) {
            Check(reread.Device(page, index) == store.Device(page, index));
        }
    }
    return 0;
}
