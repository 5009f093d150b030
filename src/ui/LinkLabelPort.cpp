// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LinkLabelPort.h"

#include "link/DialogSeam.h"
#include "model/Language.h"
#include "ui/Unit4.h"

#include <QLabel>
#include <QPalette>

#include <utility>

namespace tr640 {

QColor LinkLabelColour(LinkColour colour) {
    switch (colour) {
    case LinkColour::Green: return QColor(0, 128, 0);
    case LinkColour::LightGreen: return QColor(0, 202, 0);
    case LinkColour::Grey: break;
    }
    return QColor(160, 160, 164);
}

const char* LinkStatusText(LinkStatus status) {
    switch (status) {
    case LinkStatus::Reading: return "连接中...";
    case LinkStatus::Reloading: return "加载中...";
    case LinkStatus::Writing: return "下载数据...";
    case LinkStatus::Linked: return "设备已连接";
    case LinkStatus::RecallWaiting: return "调用等待中...";
    case LinkStatus::SaveWaiting: return "保存等待中...";
    case LinkStatus::Saving: return "保存中...";
    // No unit present reads as a lost connection does: nothing is linked.
    case LinkStatus::NoUnit:
    case LinkStatus::NotLinked: return "设备未连接";
    // A unit found: the key is offered, then the read follows.
    case LinkStatus::Connecting: return "连接中...";
    }
    return nullptr;
}

LinkColour LinkStatusColour(LinkStatus status) {
    switch (status) {
    case LinkStatus::NoUnit:
    case LinkStatus::NotLinked: return LinkColour::Grey;
    case LinkStatus::Linked: return LinkColour::LightGreen;
    default: return LinkColour::Green;
    }
}

bool ChangesReachTheUnit(LinkStatus status) {
    switch (status) {
    case LinkStatus::NoUnit:
    case LinkStatus::NotLinked:
    case LinkStatus::Connecting:
    case LinkStatus::Reading: return false;
    default: return true;
    }
}

LinkLabelPort::LinkLabelPort(QLabel& label, const int& language, Dialogs& dialogs, std::function<void()> refreshAll,
                             std::function<void()> selectFirstBandField)
    : label_(&label),
      language_(language),
      dialogs_(dialogs),
      refreshAll_(std::move(refreshAll)),
      selectFirstBandField_(std::move(selectFirstBandField)) {}

void LinkLabelPort::ShowLinkStatus(LinkStatus status) {
    status_ = status;
    const char* text = LinkStatusText(status);
    if (text != nullptr) {
        const Bilingual twins = Twins(language_, text);
        SetBilingualText(label_, language_, QString::fromStdString(twins.english),
                         QString::fromStdString(twins.chinese));
    }
    Paint(LinkStatusColour(status));
}

// The unit being there but closed to this user says where the fix is (the
// udev rule and the README's section on access).
void LinkLabelPort::TellLinkOutcome(LinkOutcome outcome) {
    const auto tell = [this](const char* text) { dialogs_.Message(Tr(language_, "提示"), Tr(language_, text)); };
    switch (outcome) {
    case LinkOutcome::ModeSaved: tell("保存成功!"); break;
    case LinkOutcome::ConnectionLost: tell("已断开连接!"); break;
    case LinkOutcome::ConnectFailed: tell("连接失败!"); break;
    case LinkOutcome::NotPermitted:
        tell("已找到TR640设备，但没有打开它的权限。请安装udev规则70-tr640.rules（随软件包安装），然后重新插拔设备；详见README中的“Access to the device”一节。");
        break;
    case LinkOutcome::Refused: dialogs_.PlainMessage(Tr(language_, "错误应答!")); break;
    case LinkOutcome::HeldByOther: break;  // TellUnitHeld names the holder
    case LinkOutcome::Connected:
    case LinkOutcome::PageOneRead:
    case LinkOutcome::PageOneWritten: break;
    }
}

void LinkLabelPort::TellUnitHeld(const std::string& program, long pid) {
    const QString holder = program.empty() ? Tr(language_, "另一个程序")
                                           : Tr(language_, "%1（进程 %2）")
                                                 .replace(QStringLiteral("%1"), QString::fromStdString(program))
                                                 .replace(QStringLiteral("%2"), QString::number(pid));
    dialogs_.Message(Tr(language_, "提示"),
                     Tr(language_, "TR640设备正被%1使用，本程序没有连接它。关闭该程序后，设备会自动连接。")
                         .replace(QStringLiteral("%1"), holder));
}

std::string LinkLabelPort::LinkLabelCaption() const { return label_ ? label_->text().toStdString() : std::string(); }

void LinkLabelPort::SetLinkLabelColour(LinkColour colour) {
    // The colour says the state, and the text must say the same: grey is no
    // unit; a unit found again while the label says nothing is linked is
    // being connected, until the link says more.
    const bool saysNothingLinked = LinkStatusColour(status_) == LinkColour::Grey;
    if (colour == LinkColour::Grey && !saysNothingLinked) return ShowLinkStatus(LinkStatus::NoUnit);
    if (colour != LinkColour::Grey && saysNothingLinked) return ShowLinkStatus(LinkStatus::Connecting);
    Paint(colour);
}

void LinkLabelPort::Paint(LinkColour colour) {
    if (!label_) return;
    // The colour fills the whole bar behind the text, not the text itself.
    QPalette palette = label_->palette();
    palette.setColor(QPalette::Window, LinkLabelColour(colour));
    label_->setPalette(palette);
    label_->setAutoFillBackground(true);
}

void LinkLabelPort::RefreshAll() {
    if (refreshAll_) refreshAll_();
}

void LinkLabelPort::SelectFirstBandField() {
    if (selectFirstBandField_) selectFirstBandField_();
}

}  // namespace tr640
