// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ControlTips.h"

#include "model/CompressorCurve.h"
#include "model/Language.h"
#include "model/ParamAddress.h"
#include "model/ParamCatalogue.h"
#include "model/ParamText.h"
#include "ui/Unit4.h"

#include <QWidget>

#include <map>
#include <string>
#include <vector>

namespace tr640 {

namespace {

// The entries a control sets: those whose value it shows (a Q field shows
// two slots), else those whose companion it is (a gain bar, a bypass box).
std::vector<const ParamEntry*> EntriesOf(const QString& controlName) {
    const std::string name = controlName.toStdString();
    std::vector<const ParamEntry*> values, companions;
    if (name.empty()) return values;
    for (const ParamEntry& e : ParamCatalogue()) {
        if (e.format == ParamFormat::Command) continue;
        if (e.valueControl == name) values.push_back(&e);
        if (e.companionControl == name) companions.push_back(&e);
    }
    return values.empty() ? companions : values;
}

const ParamEntry* EntryAt(ParamAddress address, ParamFormat format) {
    for (const ParamEntry& e : ParamCatalogue())
        if (e.address == address && e.format == format) return &e;
    return nullptr;
}

// One part of a parameter's name ("mic1", "eq3", "gain") in the words of
// the Chinese window's labels, translated into `language`; a number at its
// end is put into its word.
QString NamePart(const std::string& part, int language) {
    static const std::map<std::string, const char*> whole = {
        {"noisegate", "噪声门"},  {"feedback", "防啸叫"},     {"output", "输出总音量"},
        {"powerex", "话筒PowerEx"}, {"type", "类型"},         {"bypass", "直通"},
        {"freq", "频率"},           {"gain", "增益"},         {"q", "Q值"},
        {"other", "(其他类型)"},    {"phase", "相位"},        {"crossover", "分频点"},
        {"low", "低音"},            {"mid", "中音"},          {"high", "高音"},
        {"attack", "启动时间"},     {"hold", "保持时间"},     {"release", "释放时间"},
        {"curve", "压缩曲线"},      {"dynamics", "三分频动态"}};
    static const std::map<std::string, const char*> numbered = {{"mic", "话筒%1"}, {"eq", "EQ%1"}, {"p", "点%1"}};
    if (const auto it = whole.find(part); it != whole.end()) return Tr(language, it->second);
    const std::size_t digits = part.find_first_of("0123456789");
    if (digits != std::string::npos && digits > 0)
        if (const auto it = numbered.find(part.substr(0, digits)); it != numbered.end())
            return Tr(language, it->second).replace(QStringLiteral("%1"), QString::fromStdString(part.substr(digits)));
    return QString::fromStdString(part);
}

QString NameFromParts(const ParamEntry& e, int language) {
    QStringList parts;
    const QStringList pieces = QString::fromStdString(e.name).split(QLatin1Char('.'));
    for (const QString& piece : pieces) {
        // The master volume says "volume" once, in "输出总音量"; a
        // microphone's volume is its input volume.
        if (piece == QLatin1String("volume")) {
            if (pieces.front() != QLatin1String("output")) parts << Tr(language, "输入音量");
            continue;
        }
        parts << NamePart(piece.toStdString(), language);
    }
    return parts.join(QLatin1Char(' '));
}

QString RangeLine(const ParamEntry& e, int language) {
    QString line = QString::fromStdString(e.name) + QStringLiteral(": ") + Tr(language, "范围") + QStringLiteral(" ") +
                   QString::fromStdString(ParamRangeText(e));
    const std::string step = ParamStepText(e);
    if (!step.empty())
        line += QStringLiteral(", ") + Tr(language, "步长") + QStringLiteral(" ") + QString::fromStdString(step);
    return line;
}

QString TipOf(const std::vector<const ParamEntry*>& entries, int language) {
    if (entries.empty()) return {};
    QString tip = ParamWindowName(*entries.front(), language);
    for (const ParamEntry* e : entries) tip += QStringLiteral("\n") + RangeLine(*e, language);
    tip += QStringLiteral("\n") + Tr(language, "命令行名称:") + QStringLiteral(" tr640ctl set ") +
           QString::fromStdString(entries.front()->name) + QStringLiteral("=...");
    return tip;
}

const ParamEntry* CurvePointEntry(int band, int point) {
    return EntryAt(CompressorPointAddress(band, point), ParamFormat::CurvePoint);
}

}  // namespace

QString ParamWindowName(const ParamEntry& entry, int language) {
    // English has the catalogue's own line; the other languages put the
    // parts of the name together in the labels' words.
    if (language == kLanguageEnglish) return QString::fromStdString(entry.description);
    return NameFromParts(entry, language);
}

QString ControlTip(const QString& controlName, int language) { return TipOf(EntriesOf(controlName), language); }

QString ControlAccessibleName(const QString& controlName, int language) {
    const std::vector<const ParamEntry*> entries = EntriesOf(controlName);
    return entries.empty() ? QString() : ParamWindowName(*entries.front(), language);
}

void ApplyControlTips(QWidget& window, int language) {
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* widget : widgets) {
        const QString tip = ControlTip(widget->objectName(), language);
        if (tip.isEmpty()) continue;
        widget->setToolTip(tip);
        widget->setAccessibleName(ControlAccessibleName(widget->objectName(), language));
    }
}

QString CompressorFieldTip(int band, int point, bool input, int language) {
    const ParamEntry* e = CurvePointEntry(band, point);
    if (!e) return {};
    return CompressorFieldAccessibleName(band, point, input, language) + QStringLiteral("\n") + TipOf({e}, language)
        .section(QLatin1Char('\n'), 1);
}

QString CompressorFieldAccessibleName(int band, int point, bool input, int language) {
    const ParamEntry* e = CurvePointEntry(band, point);
    if (!e) return {};
    return ParamWindowName(*e, language) + QStringLiteral(", ") + Tr(language, input ? "输入电平" : "输出电平");
}

QString CompressorButtonTip(int band, bool reset, int language) {
    const ParamEntry* first = CurvePointEntry(band, 0);
    const ParamEntry* last = CurvePointEntry(band, kCompressorPoints - 1);
    if (!first || !last) return {};
    const QString names = QString::fromStdString(first->name) + QStringLiteral(" .. ") +
                          QString::fromStdString(last->name).section(QLatin1Char('.'), -1);
    return Tr(language, reset ? "把曲线复位并发送到设备：%1" : "把这条曲线发送到设备：%1")
        .replace(QStringLiteral("%1"), names);
}

}  // namespace tr640
