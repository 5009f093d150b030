// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EqFileMenu.h"

#include "link/DialogSeam.h"
#include "model/Language.h"
#include "model/ValueKinds.h"
#include "ui/Unit1.h"

#include <QFile>
#include <QFrame>
#include <QMenu>

#include <charconv>
#include <cmath>

namespace tr640 {

namespace {

QString Number(double value, int decimals) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    return ec == std::errc() ? QString::fromLatin1(buffer, static_cast<int>(end - buffer)) : QString::number(value);
}

// What the file said, without trailing zeros.
QString Asked(double value) {
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return ec == std::errc() ? QString::fromLatin1(buffer, static_cast<int>(end - buffer)) : QString::number(value);
}

bool IsShelf(std::int32_t type) {
    const std::int32_t plain = type % kBypassOffset;
    return plain == kFilterLowShelf || plain == kFilterHighShelf;
}

}  // namespace

EqFileMenu::EqFileMenu(TForm1& form, const int& language) : form_(form), language_(language) {
    form_.AdvPanel2->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(form_.AdvPanel2, &QWidget::customContextMenuRequested, this, &EqFileMenu::ShowMenu);
}

QString EqFileMenu::Tr(const char* chinese) const { return QString::fromStdString(Translate(language_, chinese)); }

QMenu* EqFileMenu::BuildMenu(QWidget* parent) {
    auto* menu = new QMenu(parent);
    connect(menu->addAction(Tr("导入EQ…")), &QAction::triggered, this, &EqFileMenu::ImportEq);
    connect(menu->addAction(Tr("导出EQ…")), &QAction::triggered, this, &EqFileMenu::ExportEq);
    menu->addSeparator();
    connect(menu->addAction(Tr("导出曲线…")), &QAction::triggered, this, &EqFileMenu::ExportCurve);
    connect(menu->addAction(Tr("保存图片…")), &QAction::triggered, this, &EqFileMenu::SavePicture);
    return menu;
}

void EqFileMenu::ShowMenu(const QPoint& at) {
    QMenu* menu = BuildMenu(form_.AdvPanel2);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(form_.AdvPanel2->mapToGlobal(at));
}

// --- Import ------------------------------------------------------------------

void EqFileMenu::ImportEq() {
    Dialogs& dialogs = form_.dialogs();
    const QString path = dialogs.OpenFileName(Tr("EQ文件 (*.txt *.cfg)"));
    if (path.isEmpty()) return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        dialogs.Message(Tr("提示"), Tr("无法打开文件") + QStringLiteral("\n") + path);
        return;
    }
    const QByteArray bytes = file.read(static_cast<qint64>(kEqFileMaxBytes) + 1);
    const int mic = form_.state().activeMic;
    const EqImportResult result = PlanEqImport(std::string_view(bytes.constData(), bytes.size()), mic, form_.store());
    if (!result.plan) {
        dialogs.Message(Tr("提示"), RefusalText(*result.refusal));
        return;
    }
    // The answer runs the event loop in a real box: a transfer may change the
    // store meanwhile, so the changes are worked out after it.
    if (!dialogs.Confirm(QStringLiteral("Confirm"), ImportQuestion(*result.plan))) return;
    const EqImportResult now = PlanEqImport(std::string_view(bytes.constData(), bytes.size()), mic, form_.store());
    if (!now.plan) return;
    std::vector<std::pair<int, std::int32_t>> changes;
    for (const EqBandChange& c : EqImportChanges(*now.plan, form_.store())) changes.emplace_back(c.address, c.raw);
    form_.ApplyBandValues(changes);
}

QString EqFileMenu::BandLine(const EqImportPlan& plan, int b) const {
    const EqPlannedBand& p = plan.bands[static_cast<std::size_t>(b)];
    QString line = Tr("频段%1").arg(b + 1) + QStringLiteral(": ");
    if (!p.fromFilter) return line + Tr("旁通，数值保留");
    static const char* const kTypes[] = {"参量%1", "低棚架", "高棚架", "高通", "低通"};
    const std::int32_t plain = p.type % kBypassOffset;
    line += plain == kFilterParametric ? Tr(kTypes[plain]).arg(b + 1) : Tr(kTypes[plain]);
    if (p.type >= kBypassOffset) line += QStringLiteral(" (") + Tr("已旁通") + QStringLiteral(")");
    line += QStringLiteral("  %1 Hz").arg(p.frequency);
    if (p.setsGain) line += QStringLiteral("  ") + Number(p.gainStep / 5.0 - 30.0, 1) + QStringLiteral(" dB");
    line += QStringLiteral("  Q ") + QString::fromLatin1(QTableText(p.qIndex).data(), QTableText(p.qIndex).size());
    QString asked = Asked(p.askedFrequency) + QStringLiteral(" Hz");
    if (p.setsGain) asked += QStringLiteral(", ") + Asked(p.askedGain) + QStringLiteral(" dB");
    asked += (IsShelf(p.type) ? QStringLiteral(", ") + Tr("斜率") + QStringLiteral(" ") : QStringLiteral(", Q ")) +
             Asked(p.askedQ);
    return line + QStringLiteral("    (") + Tr("第%1行").arg(p.line) + QStringLiteral(": ") + asked +
           QStringLiteral(")");
}

QString EqFileMenu::ImportQuestion(const EqImportPlan& plan) const {
    QString text = Tr("将以下数值导入话筒%1的EQ：").arg(plan.mic + 1) + QStringLiteral("\n\n");
    for (int b = 0; b < kBandsPerMic; ++b) text += BandLine(plan, b) + QStringLiteral("\n");
    if (!plan.warnings.empty()) text += QStringLiteral("\n");
    for (const EqWarning& w : plan.warnings) text += Tr("警告：") + WarningText(w) + QStringLiteral("\n");
    return text + QStringLiteral("\n") + Tr("确定导入？");
}

namespace {

const char* ValueWord(EqValue v) {
    switch (v) {
    case EqValue::Frequency: return "频率";
    case EqValue::Gain: return "增益";
    case EqValue::Q: return "Q";
    case EqValue::Slope: return "斜率";
    case EqValue::Bandwidth: return "带宽";
    case EqValue::Preamp: return "前级增益";
    }
    return "Q";
}

QString WithUnit(EqValue v, double value) {
    switch (v) {
    case EqValue::Frequency: return Asked(value) + QStringLiteral(" Hz");
    case EqValue::Gain:
    case EqValue::Preamp: return Asked(value) + QStringLiteral(" dB");
    default: return Asked(value);
    }
}

}  // namespace

QString EqFileMenu::WarningText(const EqWarning& w) const {
    const QString at = w.line > 0 ? Tr("第%1行").arg(w.line) + QStringLiteral(": ") : QString();
    switch (w.reason) {
    case EqWarningReason::Rounded:
        return at + Tr(ValueWord(w.which)) + QStringLiteral(" ") + WithUnit(w.which, w.asked) + QStringLiteral(" -> ") +
               WithUnit(w.which, w.taken);
    case EqWarningReason::PreampNotApplied: return at + Tr("前级增益%1 dB未应用：输入音量是百分比").arg(Asked(w.asked));
    case EqWarningReason::OffFiltersSkipped: return Tr("%1个关闭的滤波器未导入").arg(w.count);
    case EqWarningReason::CommandIgnored: return at + Tr("“%1:”已忽略").arg(QString::fromStdString(w.token));
    }
    return at;
}

QString EqFileMenu::RefusalText(const EqRefusal& r) const {
    const QString at = r.line > 0 ? Tr("第%1行").arg(r.line) + QStringLiteral(": ") : QString();
    const QString token = QString::fromStdString(r.token);
    QString reason;
    switch (r.reason) {
    case EqRefusalReason::Empty: reason = Tr("文件是空的"); break;
    case EqRefusalReason::TooLarge: reason = Tr("文件太大，不是滤波器文件"); break;
    case EqRefusalReason::NotText: reason = Tr("不是文本文件"); break;
    case EqRefusalReason::NoFilter: reason = Tr("文件中没有滤波器"); break;
    case EqRefusalReason::Unreadable: reason = Tr("无法读取“%1”").arg(token); break;
    case EqRefusalReason::TooManyFilters: reason = Tr("%1个启用的滤波器，每个话筒只有5个频段").arg(r.count); break;
    case EqRefusalReason::UnsupportedType: reason = Tr("设备没有%1滤波器的频段").arg(token); break;
    case EqRefusalReason::OutOfRange:
        reason = Tr("%1超出频段的范围").arg(Tr(ValueWord(r.which)) + QStringLiteral(" ") + WithUnit(r.which, r.value)) +
                 QStringLiteral(" (") + Asked(r.min) + QStringLiteral(" .. ") + Asked(r.max) + QStringLiteral(")");
        break;
    case EqRefusalReason::UnsupportedCommand: reason = Tr("“%1:”无法用五个频段实现").arg(token); break;
    }
    return Tr("无法导入EQ文件") + QStringLiteral("\n") + at + reason;
}

// --- Export --------------------------------------------------------------------

bool EqFileMenu::WriteText(const QString& path, const std::string& text) {
    QFile file(path);
    const bool ok = file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                    file.write(text.data(), static_cast<qint64>(text.size())) == static_cast<qint64>(text.size());
    if (!ok) form_.dialogs().Message(Tr("提示"), Tr("无法写入文件") + QStringLiteral("\n") + path);
    return ok;
}

void EqFileMenu::ExportEq() {
    const QString path = form_.dialogs().SaveFileName(Tr("EQ文件 (*.txt)"));
    if (!path.isEmpty()) WriteText(path, ExportEqText(form_.store(), form_.state().activeMic));
}

void EqFileMenu::ExportCurve() {
    const QString path = form_.dialogs().SaveFileName(Tr("曲线文件 (*.txt)"));
    if (!path.isEmpty()) WriteText(path, ExportEqCurveText(form_.store(), form_.state().activeMic));
}

// The graph as the user sees it: the bitmap with its handles, the readout
// and the axis labels.
void EqFileMenu::SavePicture() {
    const QString path = form_.dialogs().SaveFileName(Tr("PNG图片 (*.png)"));
    if (path.isEmpty()) return;
    if (!form_.EQAdvPanel->grab().save(path, "PNG"))
        form_.dialogs().Message(Tr("提示"), Tr("无法写入文件") + QStringLiteral("\n") + path);
}

}  // namespace tr640
