// SPDX-License-Identifier: GPL-3.0-or-later
// The EQ file reader on arbitrary bytes: a plan or a refusal, never both, and
// a plan only ever holds values the bands can take. A plan is carried out on
// a copy of the store, exported and read back, which must be taken again.
#include "eqgraph/EqFile.h"
#include "model/ValueKinds.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tr640;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    ParamStore store;
    const EqImportResult result = PlanEqImport(bytes, 0, store);
    Check(result.plan.has_value() != result.refusal.has_value());
    if (!result.plan) return 0;
    for (const EqPlannedBand& band : result.plan->bands) {
        if (!band.fromFilter) continue;
        Check(band.frequency >= 20 && band.frequency <= 20000);
        Check(band.gainStep >= 0 && band.gainStep <= 210);
        Check(band.qIndex >= 0 && band.qIndex <= kQTableLast);
    }
    for (const EqBandChange& change : EqImportChanges(*result.plan, store)) store.SetBoth(change.address, change.raw);
    const EqImportResult again = PlanEqImport(ExportEqText(store, 0), 0, store);
    Check(again.plan.has_value());
    (void)ExportEqCurveText(store, 0);
    return 0;
}
