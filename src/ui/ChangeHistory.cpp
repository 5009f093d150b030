// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ChangeHistory.h"

#include <QUndoCommand>

#include <algorithm>
#include <utility>

namespace tr640 {

// One undo step: the changes of one action, in the order they were made.
class ChangeStep final : public QUndoCommand {
public:
    ChangeStep(ChangeHistory& history, int action, ValueChange first)
        : history_(history), action_(action), changes_{first} {}

    int id() const override { return 1; }
    bool mergeWith(const QUndoCommand* other) override {
        const auto* next = static_cast<const ChangeStep*>(other);
        if (next->action_ != action_) return false;
        for (const ValueChange& change : next->changes_) Add(change);
        return true;
    }
    // The first push happens after the change was made: nothing to send.
    void redo() override {
        if (done_) history_.Replay(changes_, false);
        done_ = true;
    }
    void undo() override { history_.Replay(changes_, true); }

private:
    // A value changed twice in one action keeps its first `before`.
    void Add(const ValueChange& change) {
        const auto same = std::find_if(changes_.begin(), changes_.end(),
                                       [&](const ValueChange& c) { return c.address == change.address; });
        if (same == changes_.end()) {
            changes_.push_back(change);
        } else {
            same->after = change.after;
        }
    }

    ChangeHistory& history_;
    int action_;
    std::vector<ValueChange> changes_;
    bool done_ = false;
};

ChangeHistory::ChangeHistory(Apply apply, std::function<void()> shown)
    : apply_(std::move(apply)), shown_(std::move(shown)) {}

void ChangeHistory::NewAction() {
    ++action_;
    wheelAddress_ = -1;
}

void ChangeHistory::WheelStep(int address) {
    if (address != wheelAddress_) NewAction();
    wheelAddress_ = address;
}

void ChangeHistory::Record(int address, std::int32_t before, std::int32_t after) {
    if (replaying_ || before == after) return;
    stack_.push(new ChangeStep(*this, action_, {address, before, after}));
}

void ChangeHistory::Replay(const std::vector<ValueChange>& changes, bool undo) {
    replaying_ = true;
    if (undo) {
        for (auto it = changes.rbegin(); it != changes.rend(); ++it) apply_(it->address, it->before);
    } else {
        for (const ValueChange& change : changes) apply_(change.address, change.after);
    }
    replaying_ = false;
    // What comes after an undo is a new action, never part of the one undone.
    NewAction();
    if (shown_) shown_();
}

}  // namespace tr640
