// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PresetFlow.h"

#include "link/DialogSeam.h"
#include "model/Language.h"
#include "model/ParamAddress.h"
#include "presets/FileSystem.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLatin1Char>
#include <QSaveFile>
#include <QStringView>

#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tr640 {

namespace {

// Captions of the save flow's boxes; the load flow's messages go into the
// plain box, which carries the application's title.
const QString kInformationCaption = QStringLiteral("information");
const QString kConfirmCaption = QStringLiteral("Confirm");

QString ForDisplay(const QString& path) { return QDir::toNativeSeparators(path); }

// Where the file name starts: after the last folder separator.
qsizetype FileNameStart(const QString& path) {
    qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
#ifdef Q_OS_WIN
    slash = std::max(slash, path.lastIndexOf(QLatin1Char('\\')));
#endif
    return slash + 1;
}

}  // namespace

PresetFlow::PresetFlow(ParamStore& store, Dialogs& dialogs, PageWriter writePageOne, const int& language)
    : store_(store), dialogs_(dialogs), writePageOne_(std::move(writePageOne)), language_(language) {}

QString PresetFlow::Text(const char* chinese) const { return QString::fromStdString(Translate(language_, chinese)); }

QString PresetFlow::WithPresetExtension(const QString& path) {
    const QString extension = QString::fromLatin1(kExtension);
    const qsizetype nameStart = FileNameStart(path);
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    // A dot inside a folder name ("/home/a.b/live") is no extension.
    if (dot < nameStart) return path + extension;
    // Case matters: ".nddt" and ".NDDT" become ".Nddt" as well.
    if (QStringView(path).mid(dot) == extension) return path;
    return path.left(dot) + extension;
}

// Two things here go further than "write the lines under the chosen name":
//
// 1. The file is written through QSaveFile: the lines go to a temporary file
//    in the same folder, which is renamed over the old file only once every
//    byte has been written. A full disk, a folder that refuses new files or
//    any other failure half way therefore leaves a preset the user already
//    had whole, where writing in place would have cut it short. The failure
//    ends the save with the error message; the success message is not shown.
//
// 2. The dialog does not ask before replacing a file, so picking an
//    existing file there is the user's consent to replace it. The name rule
//    can however turn the chosen name into another one ("live.txt" into
//    "live.Nddt"); if that other file exists, the user never saw it, and is
//    asked before it is replaced. No writes nothing and shows nothing more.
void PresetFlow::SavePreset() {
    // Taken before the dialog opens: the file holds what the windows showed
    // at the click, even if a transfer ends and refreshes them meanwhile.
    const std::string content = JoinPresetLines(WritePresetLines(store_));

    const QString chosen = dialogs_.SaveFileName(QString::fromLatin1(kFileFilter));
    if (chosen.isEmpty()) return;

    const SavePlan plan = PlanSave(chosen);
    if (plan.replacesUnseenFile) {
        const QString question = Text("文件已存在，是否替换？") + QLatin1Char('\n') +
                                 ForDisplay(QFileInfo(plan.path).absoluteFilePath());
        if (!dialogs_.Confirm(kConfirmCaption, question)) return;
    }
    const FileWriteResult result = WriteWhole(plan.path, content);
    if (!result.written) {
        ShowSaveError(plan.path, result.reason);
        return;
    }
    dialogs_.Message(kInformationCaption, Text(" 预设成功保存在") + ForDisplay(result.path));
}

PresetFlow::SavePlan PresetFlow::PlanSave(const QString& chosen) {
    SavePlan plan{WithPresetExtension(chosen)};
    // A folder of that name cannot be replaced anyway; the write fails and
    // says so, without a question that suggests otherwise.
    const QFileInfo existing(plan.path);
    plan.replacesUnseenFile = plan.path != chosen && existing.exists() && !existing.isDir();
    return plan;
}

PresetFlow::FileWriteResult PresetFlow::WritePresetFile(const QString& path, const ParamStore& store) {
    return WriteWhole(path, JoinPresetLines(WritePresetLines(store)));
}

PresetFlow::FileWriteResult PresetFlow::WriteWhole(const QString& path, const std::string& content) {
    FileWriteResult result{false, QFileInfo(path).absoluteFilePath(), {}};
    // Unbuffered, so that every write reaches the disk here and its failure
    // shows here: a buffered QSaveFile flushes inside commit(), and a flush
    // that fails there still lets commit() rename a cut-short file into place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.reason = file.errorString();
        return result;
    }
    // A full disk first shows as a short write; writing the rest brings up
    // the system's own reason, which the message then names.
    const auto size = static_cast<qint64>(content.size());
    qint64 written = 0;
    while (written < size) {
        const qint64 n = file.write(content.data() + written, size - written);
        if (n <= 0) break;
        written += n;
    }
    if (written != size) {
        result.reason = file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.reason = file.errorString();
        return result;
    }
    result.written = true;
    return result;
}

PresetFlow::FileReadResult PresetFlow::ReadPresetFile(const QString& path, ParamStore& store) {
    // Only a regular file can hold a preset. A folder cannot be read as one,
    // and opening a pipe would block the window until someone writes to it,
    // so both count as a file that is not there.
    QFile file(path);
    if (!QFileInfo(path).isFile() || !file.open(QIODevice::ReadOnly)) return {FileProblem::NotFound, {}};
    if (file.size() > kMaxFileBytes) return {FileProblem::TooLarge, {}};
    // One byte beyond the limit tells a file that grew since it was measured.
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) return {FileProblem::Unreadable, file.errorString()};
    if (bytes.size() > kMaxFileBytes) return {FileProblem::TooLarge, {}};
    file.close();

    const std::vector<std::string> lines =
        SplitPresetLines(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
    // The reader stores nothing unless the whole file is accepted, so every
    // outcome but the last leaves the device image as it was.
    const PresetReadResult result = ReadPresetLines(lines, store);
    switch (result.outcome) {
        case PresetOutcome::WrongDeviceType: return {FileProblem::WrongDeviceType, {}};
        case PresetOutcome::Damaged: return {FileProblem::Damaged, {}};
        case PresetOutcome::Error: return {FileProblem::Malformed, QString::fromStdString(result.message)};
        case PresetOutcome::Accepted: break;
    }
    return {};
}

void PresetFlow::LoadPreset() {
    const QString path = dialogs_.OpenFileName(QString::fromLatin1(kFileFilter));
    if (path.isEmpty()) return;

    const ParamStore before = store_;
    const FileReadResult read = ReadPresetFile(path, store_);
    switch (read.problem) {
        case FileProblem::NotFound:
            ShowLoadMessage("文件不存在");
            return;
        case FileProblem::TooLarge:
            ShowLoadError(path, Text("文件大于 1 MiB，不是预设文件。"));
            return;
        case FileProblem::Unreadable:
        case FileProblem::Malformed:
            ShowLoadError(path, read.reason);
            return;
        case FileProblem::WrongDeviceType:
            ShowLoadMessage("文件格式错误!");
            return;
        case FileProblem::Damaged:
            ShowLoadMessage("数据文件损坏!");
            return;
        case FileProblem::None:
            break;
    }
    // The system page (volume, noise, feedback and the mode boxes) never goes
    // to the device in a transfer, so the file's values for it are not taken
    // into the image: the windows would show settings the unit does not
    // have. Its settings follow the write as ordinary changes instead.
    SystemValues system = SystemValuesOf(store_);
    const ParamStore file = store_;
    for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store_.SetDevice(0, index, before.Device(0, index));
    // When the write cannot start (no unit, or the link busy), the file's
    // values do not stay behind in the device image either: the next
    // refresh (an EQ reset, say) would show them as if the unit had them.
    if (writeAllCanStart_ && !writeAllCanStart_()) {
        store_.CopyDeviceImageFrom(before);
        if (!refusedLoad_ || !refusedLoad_(file))
            ShowLoadMessage("设备正忙（传输或模式等待中）：文件没有加载，请稍后再试。");
        return;
    }
    waitingSystemValues_ = std::move(system);
    waitingPath_ = path;
    // Linked and idle, this starts sending page 1 at once, without asking.
    if (writePageOne_) writePageOne_();
}

const std::array<int, 3>& PresetFlow::SystemSettingsOfAFile() {
    static const std::array<int, 3> addresses = {kAddrNoiseGate, kAddrAntiFeedback, kAddrMasterVolume};
    return addresses;
}

PresetFlow::SystemValues PresetFlow::SystemValuesOf(const ParamStore& file) {
    SystemValues values;
    for (const int address : SystemSettingsOfAFile()) values.emplace_back(address, file.Device(address));
    return values;
}

void PresetFlow::TransferEnded(bool wroteAll, const ChangeSender& send) {
    SystemValues values = std::exchange(waitingSystemValues_, {});
    const QString path = std::exchange(waitingPath_, {});
    if (!wroteAll || path.isEmpty()) return;
    for (const auto& [address, value] : values) send(address, value);
    dialogs_.Message(kInformationCaption, Text("预设已加载：") + ForDisplay(QFileInfo(path).absoluteFilePath()));
}

void PresetFlow::ShowLoadMessage(const char* chinese) { dialogs_.PlainMessage(Text(chinese)); }

void PresetFlow::ShowSaveError(const QString& path, const QString& reason) {
    dialogs_.PlainMessage(Text("预设文件保存失败：") +
                          ForDisplay(QFileInfo(path).absoluteFilePath()) + QLatin1Char('\n') + reason);
}

void PresetFlow::ShowLoadError(const QString& path, const QString& reason) {
    dialogs_.PlainMessage(Text("预设文件读取失败：") +
                          ForDisplay(QFileInfo(path).absoluteFilePath()) + QLatin1Char('\n') + reason);
}

}  // namespace tr640
