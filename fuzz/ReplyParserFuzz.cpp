// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary input reports to the reply parser. Whatever the length
// byte, page or index claim, the parser must stay inside the report and the
// device image, and store only values that the report really holds.

#include "link/Replies.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tr640::ParamStore store;
    const tr640::ReplyOutcome out = tr640::ParseReply(std::span(data, size), store);
    // A report of n bytes holds at most (n - 8) / 2 whole values after the header.
    const int room = size > 8 ? static_cast<int>((size - 8) / 2) : 0;
    if (out.valuesStored > room) std::abort();
    if (out.kind != tr640::ReplyOutcome::Kind::ReadReply && out.valuesStored != 0) std::abort();
    return 0;
}
