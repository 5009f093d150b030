// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "link/DialogSeam.h"

#include <QString>

#include <deque>
#include <functional>
#include <vector>

namespace tr640::testing {

// Answers the program's modal boxes without showing any. Records every call
// in order; Confirm takes its answers from a queue (Yes when it is empty),
// the file dialogs theirs from another (cancelled when empty). `whileOpen`
// runs inside the call, which is where a real box would be open.
class ScriptedDialogs : public Dialogs {
public:
    enum class Kind { Message, Confirm, Plain, SaveFile, OpenFile };
    struct Call {
        Kind kind;
        QString caption;  // the filter for file dialogs
        QString text;
    };

    std::vector<Call> calls;
    std::deque<bool> confirmAnswers;
    std::deque<QString> pathAnswers;
    std::function<void(const Call&)> whileOpen;

    void Message(const QString& caption, const QString& text) override { Record(Kind::Message, caption, text); }
    bool Confirm(const QString& caption, const QString& text) override {
        Record(Kind::Confirm, caption, text);
        return Take(confirmAnswers, true);
    }
    // Answered as a Confirm; the two buttons' texts are kept in `buttons`.
    bool Choose(const QString& caption, const QString& text, const QString& first, const QString& second) override {
        buttons.push_back({first, second});
        return Confirm(caption, text);
    }
    std::vector<std::pair<QString, QString>> buttons;
    void PlainMessage(const QString& text) override { Record(Kind::Plain, {}, text); }
    QString SaveFileName(const QString& filter) override {
        Record(Kind::SaveFile, filter, {});
        return Take(pathAnswers, QString());
    }
    QString OpenFileName(const QString& filter) override {
        Record(Kind::OpenFile, filter, {});
        return Take(pathAnswers, QString());
    }

    // Texts of the calls of one kind, in order.
    std::vector<QString> Texts(Kind kind) const {
        std::vector<QString> out;
        for (const Call& c : calls)
            if (c.kind == kind) out.push_back(c.text);
        return out;
    }

private:
    void Record(Kind kind, const QString& caption, const QString& text) {
        calls.push_back({kind, caption, text});
        // A copy: the callback may raise another box, which grows `calls`.
        const Call call = calls.back();
        if (whileOpen) whileOpen(call);
    }
    template <typename T>
    static T Take(std::deque<T>& answers, T fallback) {
        if (answers.empty()) return fallback;
        T answer = answers.front();
        answers.pop_front();
        return answer;
    }
};

}  // namespace tr640::testing
