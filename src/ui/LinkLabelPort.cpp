// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/LinkLabelPort.h"

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

LinkLabelPort::LinkLabelPort(QLabel& label, const int& language, std::function<void()> refreshAll,
                             std::function<void()> selectFirstBandField)
    : label_(&label),
      language_(language),
      refreshAll_(std::move(refreshAll)),
      selectFirstBandField_(std::move(selectFirstBandField)) {}

LinkColour LinkTextColour(const std::string& chinese) {
    if (chinese == "设备未连接" || chinese == "离线模式") return LinkColour::Grey;
    if (chinese == "设备已连接") return LinkColour::LightGreen;
    return LinkColour::Green;
}

void LinkLabelPort::SetLinkLabelText(const Bilingual& text) {
    SetBilingualText(label_, language_, QString::fromStdString(text.english), QString::fromStdString(text.chinese));
    chinese_ = text.chinese;
    // A lost or failed connection keeps the linked colour otherwise.
    Paint(LinkTextColour(chinese_));
}

bool LinkLabelPort::SaysLinked() const {
    return LinkTextColour(chinese_) != LinkColour::Grey && chinese_ != "连接中...";
}

void LinkLabelPort::Show(const char* chinese) { SetLinkLabelText(Twins(language_, chinese)); }

std::string LinkLabelPort::LinkLabelCaption() const { return label_ ? label_->text().toStdString() : std::string(); }

void LinkLabelPort::SetLinkLabelColour(LinkColour colour) {
    // The colour says the state; the text must say the same. No unit: the
    // text of a lost connection. A unit found again: connecting, until the
    // read says more.
    if (colour == LinkColour::Grey) {
        Show("设备未连接");
        return;
    }
    if (colour == LinkColour::Green && LinkTextColour(chinese_) == LinkColour::Grey) {
        Show("连接中...");
        return;
    }
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
