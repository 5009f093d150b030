// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QUndoStack>

#include <cstdint>
#include <functional>
#include <vector>

namespace tr640 {

// One parameter's value before and after a change made in the windows.
struct ValueChange {
    int address = 0;
    std::int32_t before = 0;
    std::int32_t after = 0;
};

// The undo history of the changes made in the windows, on a QUndoStack.
// Every change is recorded with the action it belongs to: a typed value, a
// list item, a reset, an applied curve each begin a new action; the steps
// of one handle drag, one slider drag or one run of wheel steps on a field
// stay in theirs, so that one undo takes all of it back. An undone or
// redone change goes out through `apply` as a typed change does.
class ChangeHistory {
public:
    using Apply = std::function<void(int address, std::int32_t value)>;
    // `apply` sends one value; `shown` runs once the values of an undo or
    // redo are all sent (the windows then show them).
    ChangeHistory(Apply apply, std::function<void()> shown);

    // The next change begins a new undo step.
    void NewAction();
    // A wheel step on the field of `address`: it continues the previous
    // action when that was a wheel run on the same field.
    void WheelStep(int address);
    // Records a change of the current action; a change to the value it had
    // already is none.
    void Record(int address, std::int32_t before, std::int32_t after);
    // True while an undo or redo sends its values (they are not recorded).
    bool Replaying() const { return replaying_; }

    QUndoStack& Stack() { return stack_; }

private:
    friend class ChangeStep;
    void Replay(const std::vector<ValueChange>& changes, bool undo);

    QUndoStack stack_;
    Apply apply_;
    std::function<void()> shown_;
    int action_ = 0;
    int wheelAddress_ = -1;
    bool replaying_ = false;
};

}  // namespace tr640
