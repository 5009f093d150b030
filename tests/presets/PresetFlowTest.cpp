// SPDX-License-Identifier: GPL-3.0-or-later
#include "presets/PresetFlow.h"

#include <QWidget>  // before the dialogs seam, which only declares it

#include "link/LinkHarness.h"
#include "model/Language.h"
#include "presets/FileSystem.h"
#include "support/ScriptedDialogs.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace tr640 {
namespace {

using testing::ScriptedDialogs;
using Kind = ScriptedDialogs::Kind;

// ---- Files ----------------------------------------------------------------

QByteArray Bytes(const std::vector<std::string>& diskLines) {
    return QByteArray::fromStdString(JoinPresetLines(diskLines));
}

std::vector<std::string> Scrambled(const std::vector<std::string>& clear) {
    std::vector<std::string> disk;
    for (const std::string& line : clear) disk.push_back(ScrambleLine(line));
    return disk;
}

// Clear lines of a file holding (address, value) pairs, with a matching
// trailer; the header numbers can be set to those of another device.
std::vector<std::string> ClearFile(const std::vector<std::pair<int, std::int32_t>>& entries,
                                   std::int32_t product = kPresetProductId, std::int32_t type = kPresetDeviceType) {
    std::vector<std::string> clear = {"VELK38 " + std::to_string(product ^ kPresetHeaderMask),
                                      "QORNIS " + std::to_string(type ^ kPresetHeaderMask)};
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

// Page 1 value at `index` in the files the tests load: within 16 bits, so the
// device keeps it as it is, and unlike anything a fresh store or the virtual
// device holds.
std::int32_t FileValue(int index) { return 20000 + 37 * index; }
std::int32_t FileSystemValue(int index) { return 500 + index; }

// What a save of a store showing the values above would write.
QByteArray LoadableFile() {
    ParamStore source;
    for (int index = 0; index <= kPageCount[0]; ++index) source.SetShown(0, index, FileSystemValue(index));
    for (int index = 0; index <= kPageCount[1]; ++index) source.SetShown(1, index, FileValue(index));
    return Bytes(WritePresetLines(source));
}

std::vector<std::int32_t> Images(const ParamStore& store) {
    std::vector<std::int32_t> all;
    for (int page = 0; page < ParamStore::kPages; ++page) {
        for (int index = 0; index < ParamStore::kDeviceWidth; ++index) all.push_back(store.Device(page, index));
        for (int index = 0; index < ParamStore::kShownWidth; ++index) all.push_back(store.Shown(page, index));
    }
    return all;
}

// Values that a loaded file would not carry, in both images.
void FillStore(ParamStore& store) {
    for (int page = 0; page < ParamStore::kPages; ++page)
        for (int index = 0; index < ParamStore::kDeviceWidth; ++index) store.SetBoth(page * 256 + index, 3 + index);
}

// ---- Flow with a recorded link --------------------------------------------

class PresetFlowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        FillStore(store);
    }

    QString Path(const QString& name) const { return dir.filePath(name); }

    static void Write(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        ASSERT_EQ(file.write(bytes), bytes.size());
    }
    static QByteArray Read(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    QStringList Entries() const {
        return QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Name);
    }

    void Save(const QString& answer) {
        dialogs.pathAnswers.push_back(answer);
        flow.SavePreset();
    }
    void Load(const QString& path) {
        dialogs.pathAnswers.push_back(path);
        flow.LoadPreset();
    }

    std::vector<Kind> Kinds() const {
        std::vector<Kind> kinds;
        for (const auto& call : dialogs.calls) kinds.push_back(call.kind);
        return kinds;
    }
    QString Saved(const QString& path) const {
        return QStringLiteral(" 预设成功保存在") + QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
    }
    QByteArray ExpectedContent() const { return Bytes(WritePresetLines(store)); }

    // The load ended in one plain message, and nothing was stored or sent.
    void ExpectRefused(const std::vector<std::int32_t>& before, const QString& message) {
        EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::OpenFile, Kind::Plain}));
        EXPECT_EQ(dialogs.Texts(Kind::Plain), std::vector<QString>{message});
        EXPECT_EQ(Images(store), before);
        EXPECT_TRUE(events.empty());
    }
    void ExpectGenericLoadError(const std::vector<std::int32_t>& before, const QString& path,
                                const QString& reasonPart) {
        ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::OpenFile, Kind::Plain}));
        const QString text = dialogs.calls[1].text;
        EXPECT_TRUE(text.startsWith(QStringLiteral("预设文件读取失败：") + QFileInfo(path).absoluteFilePath() + "\n"))
            << text.toStdString();
        EXPECT_TRUE(text.contains(reasonPart)) << text.toStdString();
        EXPECT_EQ(Images(store), before);
        EXPECT_TRUE(events.empty());
    }
    void Reset() {
        dialogs.calls.clear();
        events.clear();
    }

    QTemporaryDir dir;
    ParamStore store;
    ScriptedDialogs dialogs;
    std::vector<int> events;  // kWritePageOne for each write of page 1 asked for
    int language = kLanguageChinese;
    static constexpr int kWritePageOne = 1;
    PresetFlow flow{store, dialogs, [this] { events.push_back(kWritePageOne); }, language};
};

TEST(PresetNameRule, OnlyTheExactExtensionOfTheFileNameStays) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"/d/live", "/d/live.Nddt"},
        {"/d/live.Nddt", "/d/live.Nddt"},
        {"/d/live.txt", "/d/live.Nddt"},
        {"/d/live.nddt", "/d/live.Nddt"},
        {"/d/live.NDDT", "/d/live.Nddt"},
        {"/d/live.Nddtx", "/d/live.Nddt"},
        {"/d/live.", "/d/live.Nddt"},
        {"/d/live.tar.gz", "/d/live.tar.Nddt"},
        {"/d/a.b/live", "/d/a.b/live.Nddt"},
        {"/d/a.Nddt/live", "/d/a.Nddt/live.Nddt"},
        {"live.txt", "live.Nddt"},
        {"/d/.Nddt", "/d/.Nddt"},
        {"/d/现场.txt", "/d/现场.Nddt"},
    };
    for (const auto& [chosen, written] : cases)
        EXPECT_EQ(PresetFlow::WithPresetExtension(chosen), written) << chosen.toStdString();
}

TEST_F(PresetFlowTest, SaveWritesTheShownImageUnderTheRuledNameAndSaysWhere) {
    for (const QString name : {"live", "live.NDDT", "live.txt"}) {
        SCOPED_TRACE(name.toStdString());
        QFile::remove(Path("live.Nddt"));
        Reset();
        Save(Path(name));
        ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Message}));
        EXPECT_EQ(dialogs.calls[0].caption, "*.Nddt");
        EXPECT_EQ(dialogs.calls[1].caption, "information");
        EXPECT_EQ(dialogs.calls[1].text, Saved(Path("live.Nddt")));
        EXPECT_EQ(Entries(), QStringList{"live.Nddt"});
        EXPECT_EQ(Read(Path("live.Nddt")), ExpectedContent());
    }
    // The file is what the reader takes back.
    ParamStore back;
    ASSERT_EQ(ReadPresetLines(SplitPresetLines(Read(Path("live.Nddt")).toStdString()), back).outcome,
              PresetOutcome::Accepted);
    for (int index = 0; index <= kPageCount[1]; ++index) EXPECT_EQ(back.Device(1, index), store.Shown(1, index));
    // Well below the load's size limit.
    EXPECT_LT(QFileInfo(Path("live.Nddt")).size(), PresetFlow::kMaxFileBytes / 100);
    EXPECT_TRUE(events.empty());
}

TEST_F(PresetFlowTest, TheCoreOperationsSayWhatTheyFoundAndWhereTheyWrote) {
    EXPECT_FALSE(PresetFlow::PlanSave(Path("live.txt")).replacesUnseenFile);
    Write(Path("live.Nddt"), "old");
    const PresetFlow::SavePlan plan = PresetFlow::PlanSave(Path("live.txt"));
    EXPECT_EQ(plan.path, Path("live.Nddt"));
    EXPECT_TRUE(plan.replacesUnseenFile);
    EXPECT_FALSE(PresetFlow::PlanSave(Path("live.Nddt")).replacesUnseenFile);  // the user named it

    const PresetFlow::FileWriteResult written = PresetFlow::WritePresetFile(plan.path, store);
    EXPECT_TRUE(written.written);
    EXPECT_EQ(written.path, QFileInfo(Path("live.Nddt")).absoluteFilePath());
    EXPECT_EQ(Read(Path("live.Nddt")), ExpectedContent());
    const PresetFlow::FileWriteResult failed = PresetFlow::WritePresetFile(Path("none/x.Nddt"), store);
    EXPECT_FALSE(failed.written);
    EXPECT_FALSE(failed.reason.isEmpty());
    EXPECT_TRUE(dialogs.calls.empty());
}

TEST_F(PresetFlowTest, SuccessMessageFollowsTheLanguage) {
    language = kLanguageEnglish;
    Save(Path("en"));
    const QString saved = QDir::toNativeSeparators(QFileInfo(Path("en.Nddt")).absoluteFilePath());
    EXPECT_EQ(dialogs.Texts(Kind::Message), std::vector<QString>{"Preset saved to " + saved});
}

TEST_F(PresetFlowTest, SaveTakesTheValuesShownAtTheClick) {
    const QByteArray atClick = ExpectedContent();
    dialogs.whileOpen = [this](const ScriptedDialogs::Call& call) {
        // A transfer ending while the dialog is up refreshes the windows.
        if (call.kind == Kind::SaveFile) store.SetShown(1, 4, 9999);
    };
    Save(Path("click.Nddt"));
    EXPECT_EQ(Read(Path("click.Nddt")), atClick);
}

TEST_F(PresetFlowTest, CancellingEitherDialogChangesAndShowsNothing) {
    const auto before = Images(store);
    flow.SavePreset();
    flow.LoadPreset();
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::OpenFile}));
    EXPECT_EQ(dialogs.calls[0].caption, "*.Nddt");
    EXPECT_EQ(dialogs.calls[1].caption, "*.Nddt");
    EXPECT_TRUE(Entries().isEmpty());
    EXPECT_EQ(Images(store), before);
    EXPECT_TRUE(events.empty());
}

// ---- Replacing files --------------------------------------------------------

TEST_F(PresetFlowTest, ARenamedTargetThatExistsIsReplacedOnlyAfterYes) {
    Write(Path("live.Nddt"), "old");

    dialogs.confirmAnswers = {false};
    Save(Path("live.txt"));
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Confirm}));
    EXPECT_EQ(dialogs.calls[1].caption, "Confirm");
    EXPECT_EQ(dialogs.calls[1].text, QStringLiteral("文件已存在，是否替换？\n") + Path("live.Nddt"));
    EXPECT_EQ(Read(Path("live.Nddt")), "old");
    EXPECT_EQ(Entries(), QStringList{"live.Nddt"});

    Reset();
    dialogs.confirmAnswers = {true};
    Save(Path("live.txt"));
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Confirm, Kind::Message}));
    EXPECT_EQ(Read(Path("live.Nddt")), ExpectedContent());

    Reset();
    language = kLanguageEnglish;
    dialogs.confirmAnswers = {false};
    Save(Path("live"));
    EXPECT_EQ(dialogs.Texts(Kind::Confirm),
              std::vector<QString>{QStringLiteral("The file already exists. Replace it?\n") + Path("live.Nddt")});
}

TEST_F(PresetFlowTest, NoQuestionWhenTheDialogsOwnChoiceIsWrittenOrNothingIsReplaced) {
    Write(Path("mine.Nddt"), "old");
    Save(Path("mine.Nddt"));  // picked in the dialog: the user has agreed
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Message}));
    EXPECT_EQ(Read(Path("mine.Nddt")), ExpectedContent());

    Reset();
    Save(Path("fresh.txt"));  // nothing called fresh.Nddt yet
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Message}));
    EXPECT_TRUE(QFileInfo::exists(Path("fresh.Nddt")));
}

// A write that fails half way must leave the old file whole. Limiting the
// size of files this process may write makes the write fail like a full disk
// does, for root as well.
TEST_F(PresetFlowTest, AFailedWriteKeepsTheOldFileAndShowsTheError) {
    Write(Path("keep.Nddt"), "old");
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = saved;
    tight.rlim_cur = 64;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &tight), 0);
    Save(Path("keep.Nddt"));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, oldHandler);

    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Plain}));
    EXPECT_TRUE(dialogs.calls[1].text.startsWith(QStringLiteral("预设文件保存失败：") + Path("keep.Nddt") + "\n"))
        << dialogs.calls[1].text.toStdString();
    // The system's own words for it.
    EXPECT_TRUE(dialogs.calls[1].text.endsWith(QString::fromLocal8Bit(std::strerror(EFBIG))))
        << dialogs.calls[1].text.toStdString();
    EXPECT_EQ(Read(Path("keep.Nddt")), "old");
    EXPECT_EQ(Entries(), QStringList{"keep.Nddt"});  // no temporary file left behind
}

TEST_F(PresetFlowTest, AFolderOrAMissingFolderWhereTheFileGoesEndsInTheError) {
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.Nddt"));
    ASSERT_TRUE(QDir(dir.path()).mkdir("taken.Nddt/inside"));
    for (const QString name : {"taken.Nddt", "taken.txt"}) {
        SCOPED_TRACE(name.toStdString());
        Reset();
        Save(Path(name));
        // No question either: a folder is not going to be replaced.
        ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Plain}));
        EXPECT_TRUE(dialogs.calls[1].text.startsWith(QStringLiteral("预设文件保存失败：")));
        EXPECT_TRUE(QFileInfo(Path("taken.Nddt/inside")).isDir());
        EXPECT_EQ(Entries(), QStringList{"taken.Nddt"});
    }

    Reset();
    language = kLanguageEnglish;
    Save(Path("missing/live.Nddt"));
    ASSERT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Plain}));
    EXPECT_TRUE(dialogs.calls[1].text.startsWith("The preset file could not be saved: " + Path("missing/live.Nddt")));
    EXPECT_EQ(Entries(), QStringList{"taken.Nddt"});
}

TEST_F(PresetFlowTest, AFolderThatRefusesNewFilesKeepsTheOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders; covered by the size limit case";
    ASSERT_TRUE(QDir(dir.path()).mkdir("locked"));
    Write(Path("locked/keep.Nddt"), "old");
    ASSERT_TRUE(QFile::setPermissions(Path("locked"), QFile::ReadOwner | QFile::ExeOwner));
    Save(Path("locked/keep.Nddt"));
    QFile::setPermissions(Path("locked"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::SaveFile, Kind::Plain}));
    EXPECT_EQ(Read(Path("locked/keep.Nddt")), "old");
}

// ---- Loading: the outcomes of the reader -----------------------------------

TEST_F(PresetFlowTest, AnAcceptedFileGoesToTheDeviceImageAndAsksForTheWriteAll) {
    const ParamStore before = store;
    Write(Path("good.Nddt"), LoadableFile());
    Load(Path("good.Nddt"));
    EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::OpenFile});
    EXPECT_EQ(events, std::vector<int>{kWritePageOne});
    for (int index = 0; index <= kPageCount[1]; ++index) EXPECT_EQ(store.Device(1, index), FileValue(index));
    for (int index = 0; index < ParamStore::kShownWidth; ++index) EXPECT_EQ(store.Shown(1, index), 3 + index);
    // The system page never goes to the device, so the file's system values
    // are left out: the windows would otherwise show what the unit lacks.
    for (int index = 0; index <= kPageCount[0]; ++index) {
        EXPECT_NE(FileSystemValue(index), before.Device(0, index)) << index;
        EXPECT_EQ(store.Device(0, index), before.Device(0, index)) << index;
    }
}

// Not linked or busy, the write cannot start: nothing of the file may stay
// behind, or the next refresh (an EQ reset, say) shows it as the unit's.
TEST_F(PresetFlowTest, AFileThatCannotBeWrittenNowLeavesTheImagesAsTheyWereAndSaysSo) {
    flow.SetWriteAllGate([] { return false; });
    const auto before = Images(store);
    Write(Path("good.Nddt"), LoadableFile());
    Load(Path("good.Nddt"));
    EXPECT_EQ(Images(store), before);
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(Kinds(), (std::vector<Kind>{Kind::OpenFile, Kind::Plain}));

    // A handler that keeps the file's values ends the load there.
    dialogs.calls.clear();
    std::int32_t kept = -1;
    flow.SetRefusedLoad([&](const ParamStore& file) {
        kept = file.Device(0x0100);
        return true;
    });
    Load(Path("good.Nddt"));
    EXPECT_EQ(Images(store), before);
    EXPECT_NE(kept, -1);
    EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::OpenFile});
}

TEST_F(PresetFlowTest, ADamagedFileIsReportedOnceAndStoresNothing) {
    const std::vector<std::pair<int, std::int32_t>> entries = {{0x0100, 11}, {0x0101, 12}, {0x0005, 13}};
    std::vector<std::string> wrongIndex = ClearFile(entries);
    wrongIndex[wrongIndex.size() - 2] = "Intoal: 4";
    std::vector<std::string> wrongSum = ClearFile(entries);
    wrongSum.back() = "CCCCK: 17";

    for (const auto& clear : {wrongIndex, wrongSum}) {
        Reset();
        const auto before = Images(store);
        Write(Path("damaged.Nddt"), Bytes(Scrambled(clear)));
        Load(Path("damaged.Nddt"));
        ExpectRefused(before, QStringLiteral("数据文件损坏!"));
    }
    Reset();
    language = kLanguageEnglish;
    const auto before = Images(store);
    Load(Path("damaged.Nddt"));
    ExpectRefused(before, "Data file is corrupted!");
}

TEST_F(PresetFlowTest, AnotherDevicesFileIsAFormatError) {
    const auto before = Images(store);
    // What a program for a sibling model would write: its own product id and
    // device type, otherwise the same layout.
    Write(Path("other.Nddt"), Bytes(Scrambled(ClearFile({{0x0100, 1}}, 0x6913, 4))));
    Load(Path("other.Nddt"));
    ExpectRefused(before, QStringLiteral("文件格式错误!"));

    Reset();
    language = kLanguageEnglish;
    Write(Path("type.Nddt"), Bytes(Scrambled(ClearFile({{0x0100, 1}}, kPresetProductId, 5))));
    Load(Path("type.Nddt"));
    ExpectRefused(before, "File format error!");
}

TEST_F(PresetFlowTest, OtherHeaderWordsAloneDoNotMatter) {
    // Only the numbers tie a file to the device; a program that names its
    // header lines differently still writes a file this one takes.
    std::vector<std::string> clear = ClearFile({{0x0100, 77}});
    clear[0].replace(0, 6, "HEADER");
    clear[1].replace(0, 6, "KIND99");
    clear[clear.size() - 2].replace(0, 7, "Lines::");
    clear.back().replace(0, 6, "Sum---");
    Write(Path("words.Nddt"), Bytes(Scrambled(clear)));
    Load(Path("words.Nddt"));
    EXPECT_EQ(Kinds(), std::vector<Kind>{Kind::OpenFile});
    EXPECT_EQ(store.Device(0x0100), 77);
    EXPECT_EQ(events, std::vector<int>{kWritePageOne});
}

TEST_F(PresetFlowTest, UnreadableContentEndsInTheGenericErrorWithItsReason) {
    const auto before = Images(store);
    std::vector<std::string> badHex = Scrambled(ClearFile({{0x0100, 1}, {0x0101, 2}}));
    badHex[3][4] = 'G';
    Write(Path("hex.Nddt"), Bytes(badHex));
    Load(Path("hex.Nddt"));
    ExpectGenericLoadError(before, Path("hex.Nddt"), "Line 4: ");
    EXPECT_TRUE(dialogs.calls[1].text.contains("is not a valid hexadecimal number"));

    Reset();
    std::vector<std::string> badField = ClearFile({{0x0100, 1}, {0x0101, 2}});
    badField[3] = "257 x2";
    Write(Path("field.Nddt"), Bytes(Scrambled(badField)));
    Load(Path("field.Nddt"));
    ExpectGenericLoadError(before, Path("field.Nddt"), "is not a valid integer value");

    // The extra empty line at the end leaves the trailer without a field 1.
    Reset();
    Write(Path("tail.Nddt"), LoadableFile() + "\r\n");
    Load(Path("tail.Nddt"));
    ExpectGenericLoadError(before, Path("tail.Nddt"), "has no field 1");

    Reset();
    language = kLanguageEnglish;
    Load(Path("tail.Nddt"));
    ASSERT_EQ(dialogs.Texts(Kind::Plain).size(), 1u);
    EXPECT_TRUE(dialogs.Texts(Kind::Plain)[0].startsWith("The preset file could not be read: "));
}

// ---- Loading: what is not a preset file at all -----------------------------

TEST_F(PresetFlowTest, NothingToOpenIsAMissingFile) {
    const auto before = Images(store);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder.Nddt"));
    // Root reads whatever the permission bits say, so there a link that
    // points at itself stands in for a file that cannot be opened.
    QString unreadable = Path("locked.Nddt");
    if (geteuid() == 0) {
        unreadable = Path("loop.Nddt");
        ASSERT_TRUE(QFile::link(unreadable, unreadable));
    } else {
        Write(unreadable, LoadableFile());
        ASSERT_TRUE(QFile::setPermissions(unreadable, QFileDevice::Permissions{}));
    }

    for (const QString& path : {Path("absent.Nddt"), Path("folder.Nddt"), unreadable}) {
        SCOPED_TRACE(path.toStdString());
        Reset();
        Load(path);
        ExpectRefused(before, QStringLiteral("文件不存在"));
    }
    Reset();
    language = kLanguageEnglish;
    Load(Path("absent.Nddt"));
    ExpectRefused(before, "File not find!");
}

TEST_F(PresetFlowTest, BinaryEmptyAndPlainTextFilesAreGenericErrors) {
    const auto before = Images(store);
    QByteArray binary;
    for (int i = 0; i < 4096; ++i) binary.append(static_cast<char>((i * 151 + 7) % 256));
    Write(Path("binary.Nddt"), binary);
    Write(Path("empty.Nddt"), QByteArray());
    // A file that a program keeping its lines in clear text would write.
    Write(Path("clear.Nddt"), QByteArray::fromStdString(JoinPresetLines(ClearFile({{0x0100, 1}}))));

    const std::vector<std::pair<QString, QString>> cases = {
        {Path("binary.Nddt"), "Line 1: "},
        {Path("empty.Nddt"), "The file has no line 1."},
        {Path("clear.Nddt"), "is not a valid hexadecimal number"},
    };
    for (const auto& [path, reason] : cases) {
        SCOPED_TRACE(path.toStdString());
        Reset();
        Load(path);
        ExpectGenericLoadError(before, path, reason);
    }
}

TEST_F(PresetFlowTest, FilesBeyondTheSizeLimitAreRefusedUnread) {
    const auto before = Images(store);
    const QString tooLarge = QStringLiteral("文件大于 1 MiB，不是预设文件。");

    // One enormous line of 50 MB.
    Write(Path("huge.Nddt"), QByteArray(50 * 1024 * 1024, 'A'));
    Load(Path("huge.Nddt"));
    ExpectGenericLoadError(before, Path("huge.Nddt"), tooLarge);
    QFile::remove(Path("huge.Nddt"));

    Reset();
    Write(Path("over.Nddt"), QByteArray(PresetFlow::kMaxFileBytes + 1, 'A'));
    Load(Path("over.Nddt"));
    ExpectGenericLoadError(before, Path("over.Nddt"), tooLarge);

    // At the limit the reader has its say: an odd last character is ignored
    // and the one line lacks its header field.
    Reset();
    Write(Path("limit.Nddt"), QByteArray(PresetFlow::kMaxFileBytes - 1, 'A') + "\n");
    Load(Path("limit.Nddt"));
    ExpectGenericLoadError(before, Path("limit.Nddt"), "Line 1 has no field 1");
    EXPECT_FALSE(dialogs.calls[1].text.contains(tooLarge));
}

// ---- With the link ----------------------------------------------------------

class PresetFlowLinkTest : public testing::LinkFixture {
protected:
    PresetFlowLinkTest() { FillStore(store); }

    void Load(const QByteArray& bytes) {
        const QString path = dir.filePath("load.Nddt");
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_EQ(file.write(bytes), bytes.size());
        file.close();
        dialogs.pathAnswers.push_back(path);
        flow.LoadPreset();
    }

    QTemporaryDir dir;
    ScriptedDialogs dialogs;
    int language = kLanguageChinese;
    PresetFlow flow{store, dialogs, [this] { link.WriteAll(); }, language};
};

TEST_F(PresetFlowLinkTest, NotLinkedTheValuesWaitUnseenAndASaveWritesTheShownOnes) {
    ParamStore shownOnly = store;
    Load(LoadableFile());
    EXPECT_EQ(dialogs.calls.size(), 1u);  // the open dialog, no message
    EXPECT_TRUE(view.Boxes().empty());
    EXPECT_EQ(link.Vars().linkState, kNotLinked);
    EXPECT_FALSE(transferTimer.active);
    EXPECT_TRUE(transport.Written().empty());
    EXPECT_EQ(view.refreshes, 0);
    EXPECT_EQ(view.label, LinkStatus::NoUnit);
    for (int index = 0; index <= kPageCount[1]; ++index) EXPECT_EQ(store.Device(1, index), FileValue(index));
    for (int page = 0; page < ParamStore::kPages; ++page)
        for (int index = 0; index < ParamStore::kShownWidth; ++index)
            EXPECT_EQ(store.Shown(page, index), shownOnly.Shown(page, index));

    dialogs.pathAnswers.push_back(dir.filePath("after.Nddt"));
    flow.SavePreset();
    QFile saved(dir.filePath("after.Nddt"));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), Bytes(WritePresetLines(shownOnly)));
    EXPECT_NE(Bytes(WritePresetLines(shownOnly)), LoadableFile());
}

TEST_F(PresetFlowLinkTest, BusyLinkLeavesTheValuesWaiting) {
    link.DevicePresent();  // connecting: linked and busy
    ASSERT_EQ(link.Vars().linkState, kLinkedBusy);
    const std::size_t framesBefore = transport.Written().size();
    Load(LoadableFile());
    EXPECT_EQ(dialogs.calls.size(), 1u);
    EXPECT_FALSE(transferTimer.active);
    EXPECT_EQ(transport.Written().size(), framesBefore);
    EXPECT_EQ(store.Device(1, 0), FileValue(0));
    EXPECT_EQ(store.Shown(1, 0), 3);
}

TEST_F(PresetFlowLinkTest, LinkedAndIdleTheFileReachesTheDeviceAndTheWindows) {
    Connect();
    for (int index = 0; index <= kPageCount[1]; ++index)
        ASSERT_NE(device.Value(1, index), static_cast<std::uint16_t>(FileValue(index))) << index;
    VirtualTr640::Page systemBefore{};
    for (std::size_t index = 0; index < VirtualTr640::kPageSize; ++index) systemBefore[index] = device.Value(0, index);
    device.ClearWriteLog();

    Load(LoadableFile());
    // Straight into the transfer: no question, no message.
    EXPECT_EQ(dialogs.calls.size(), 1u);
    EXPECT_EQ(link.Vars().linkState, kLinkedBusy);
    EXPECT_EQ(view.label, LinkStatus::Writing);
    RunTransfer();
    ASSERT_EQ(link.Vars().linkState, kLinkedIdle);
    EXPECT_TRUE(view.Boxes().empty());

    // The write-all sends indices 0..89 of page 1: the file's 84 values, then
    // whatever the device image holds at 84 (neither the read nor the file
    // touches it), then zeros.
    std::vector<VirtualTr640::WriteRecord> page1;
    for (const auto& record : device.WriteLog())
        if (record.address >> 8 == 1) page1.push_back(record);
    ASSERT_EQ(page1.size(), 90u);
    for (int index = 0; index < 90; ++index) {
        const std::int32_t sent = index <= kPageCount[1]       ? FileValue(index)
                                  : index == kDeviceIndexLimit ? store.Device(1, kDeviceIndexLimit)
                                                               : 0;
        const auto expected = static_cast<std::uint16_t>(sent);
        EXPECT_EQ(page1[index], (VirtualTr640::WriteRecord{static_cast<std::uint16_t>(0x0100 + index), expected}));
        EXPECT_EQ(device.Value(1, index), expected) << index;
    }
    for (std::size_t index = 0; index < VirtualTr640::kPageSize; ++index)
        EXPECT_EQ(device.Value(0, index), systemBefore[index]) << "page 0 is never written";

    // The windows show the file's values once the transfer has completed,
    // and on the system page what the unit still holds.
    for (int index = 0; index < kPageCount[1]; ++index) EXPECT_EQ(store.Shown(1, index), FileValue(index)) << index;
    for (int index = 0; index < kPageCount[0]; ++index)
        EXPECT_EQ(static_cast<std::uint16_t>(store.Shown(0, index)), systemBefore[static_cast<std::size_t>(index)])
            << index;
}

}  // namespace
}  // namespace tr640
