// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "cli/Tr640Ctl.h"
#include "eqgraph/EqFile.h"
#include "model/ParamStore.h"

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace CLI {
class App;
}

namespace tr640 {

// What the eq commands need of a connected unit: its values as read, changes
// sent the way `set` sends them, and a read-back of page 1.
class EqUnit {
public:
    virtual ~EqUnit() = default;
    virtual const ParamStore& Values() const = 0;
    // Sends and waits for the acknowledgements, then reads page 1 back.
    virtual bool SendAndReadBack(const std::vector<std::pair<int, std::int32_t>>& changes) = 0;
};

struct EqCommandHooks {
    CtlEnvironment* env = nullptr;
    const bool* json = nullptr;
    const bool* quiet = nullptr;
    // Connects, runs the work on the unit and reports a link failure itself.
    std::function<int(const std::function<int(EqUnit&)>&)> withUnit;
};

// Adds `eq import`, `eq export` and `eq curve` to the command line; the
// chosen command is left in `run`.
void AddEqCommands(CLI::App& app, std::function<int()>& run, EqCommandHooks hooks);

// English for the reader's outcomes, as tr640ctl prints them.
std::string EqRefusalText(const EqRefusal& refusal);
std::string EqWarningText(const EqWarning& warning, int mic);

}  // namespace tr640
