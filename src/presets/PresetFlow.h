// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The two buttons under "PC文件": save the shown values to a preset file and
// load one back into the device image, then hand it to the link.

#include "model/ParamStore.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace tr640 {

class Dialogs;

class PresetFlow {
public:
    // Starts the link's write of page 1 (the load's last step); the link
    // itself decides whether the write can run now.
    using PageWriter = std::function<void()>;
    // Whether the link could start the write-all now (linked and idle).
    using WriteAllGate = std::function<bool()>;

    // The one entry of both file dialogs' filter list: label and pattern are
    // the same text.
    static constexpr char kFileFilter[] = "*.Nddt";
    static constexpr char kExtension[] = ".Nddt";

    // A preset file of this program takes 1.4 to 3.3 KB, and even a
    // hand-made one naming every address of the device image several times
    // stays far below this. Anything
    // larger is not a preset, and reading it whole would stall the window
    // (or worse, for a file of gigabytes), so it is refused unread.
    static constexpr qint64 kMaxFileBytes = 1024 * 1024;

    // All references must outlive the flow; `language` is read at each click.
    PresetFlow(ParamStore& store, Dialogs& dialogs, PageWriter writePageOne, const int& language);

    // "保存": the shown image at this moment, under a name from the save dialog.
    void SavePreset();
    // "加载": a file from the open dialog into the device image, then WriteAll.
    void LoadPreset();

    // What reading a preset file from disk came to. The store is changed
    // only when the file is accepted.
    enum class FileProblem { None, NotFound, TooLarge, Unreadable, WrongDeviceType, Damaged, Malformed };
    struct FileReadResult {
        FileProblem problem = FileProblem::None;
        QString reason;  // the system's or the parser's text for Unreadable and Malformed
    };
    // Reads and checks a whole file into the store's device image, all or
    // nothing: the one reading of preset files, for the load button and the
    // command line alike. Page 0 is taken from the file too; see LoadPreset.
    static FileReadResult ReadPresetFile(const QString& path, ParamStore& store);

    // The name that a save really writes: a file name whose extension (from
    // the last dot of the file name, not of a folder) is not exactly ".Nddt"
    // gets ".Nddt" in its place; a name without a dot gets it appended.
    static QString WithPresetExtension(const QString& path);

    // The settings of the system page that a file carries and a load sends
    // as ordinary changes once the page-1 write is done: the noise gate, the
    // anti-feedback and the master volume. Never the mode commands (their
    // addresses hold the last command) nor the addresses no control shows.
    static const std::array<int, 3>& SystemSettingsOfAFile();
    using SystemValues = std::vector<std::pair<int, std::int32_t>>;
    // The file's values of those settings.
    static SystemValues SystemValuesOf(const ParamStore& file);

    // The end of a transfer: after the write-all of a load, the file's
    // system settings go to `send` and a message names the file loaded.
    // Any other transfer drops what a load left waiting.
    using ChangeSender = std::function<void(int address, std::int32_t value)>;
    void TransferEnded(bool wroteAll, const ChangeSender& send);
    // A load has started its page-1 write and waits for it to end.
    bool LoadWaiting() const { return !waitingPath_.isEmpty(); }

    // A load the link cannot take now (no unit, or busy): the handler may
    // keep the file's values (its device image) and return true; otherwise
    // the load says that nothing was loaded.
    using RefusedLoad = std::function<bool(const ParamStore& file)>;
    void SetRefusedLoad(RefusedLoad refused) { refusedLoad_ = std::move(refused); }
    // Where a save of the chosen name writes (the name rule applied), and
    // whether that is an existing file the user did not pick and would
    // replace unseen (the dialog's own choice is consent to replace it).
    struct SavePlan {
        QString path;
        bool replacesUnseenFile = false;
    };
    static SavePlan PlanSave(const QString& chosen);

    // What writing a preset file came to: the absolute path it wrote (or
    // tried to), and the system's reason when it failed.
    struct FileWriteResult {
        bool written = false;
        QString path;
        QString reason;
    };
    // Writes the shown image as a preset file, whole or not at all.
    static FileWriteResult WritePresetFile(const QString& path, const ParamStore& store);

    // Without a gate the loaded values are always offered to the link.
    void SetWriteAllGate(WriteAllGate canStart) { writeAllCanStart_ = std::move(canStart); }

private:
    static FileWriteResult WriteWhole(const QString& path, const std::string& content);
    void ShowLoadMessage(const char* chinese);
    void ShowSaveError(const QString& path, const QString& reason);
    void ShowLoadError(const QString& path, const QString& reason);
    // A text of the flow (written in Chinese) in the program's language.
    QString Text(const char* chinese) const;

    ParamStore& store_;
    Dialogs& dialogs_;
    PageWriter writePageOne_;
    WriteAllGate writeAllCanStart_;
    RefusedLoad refusedLoad_;
    const int& language_;
    // The loaded file's system settings, until its write-all has ended.
    SystemValues waitingSystemValues_;
    QString waitingPath_;
};

}  // namespace tr640
