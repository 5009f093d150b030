// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/ControlTips.h"

#include "model/ParamCatalogue.h"
#include "model/ParamText.h"
#include "ui/Unit4.h"

#include <QWidget>

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

QString RangeLine(const ParamEntry& e, int language) {
    QString line = QString::fromStdString(e.name) + QStringLiteral(": ") + Tr(language, "范围") + QStringLiteral(" ") +
                   QString::fromStdString(ParamRangeText(e));
    const std::string step = ParamStepText(e);
    if (!step.empty())
        line += QStringLiteral(", ") + Tr(language, "步长") + QStringLiteral(" ") + QString::fromStdString(step);
    return line;
}

}  // namespace

QString ControlTip(const QString& controlName, int language) {
    const std::vector<const ParamEntry*> entries = EntriesOf(controlName);
    if (entries.empty()) return {};
    QString tip = QString::fromStdString(entries.front()->description);
    for (const ParamEntry* e : entries) tip += QStringLiteral("\n") + RangeLine(*e, language);
    tip += QStringLiteral("\n") + Tr(language, "命令行名称:") + QStringLiteral(" tr640ctl set ") +
           QString::fromStdString(entries.front()->name) + QStringLiteral("=...");
    return tip;
}

QString ControlAccessibleName(const QString& controlName) {
    const std::vector<const ParamEntry*> entries = EntriesOf(controlName);
    return entries.empty() ? QString() : QString::fromStdString(entries.front()->description);
}

void ApplyControlTips(QWidget& window, int language) {
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* widget : widgets) {
        const QString tip = ControlTip(widget->objectName(), language);
        if (tip.isEmpty()) continue;
        widget->setToolTip(tip);
        widget->setAccessibleName(ControlAccessibleName(widget->objectName()));
    }
}

}  // namespace tr640
