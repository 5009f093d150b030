// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/EqGraph.h"

#include "eqgraph/BandReadout.h"
#include "eqgraph/EqRender.h"
#include "model/ParamAddress.h"
#include "ui/ControlTag.h"
#include "ui/Controls.h"

#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPalette>
#include <QTimer>
#include <QtMath>

#include <algorithm>

namespace tr640 {

namespace {

QPoint MousePoint(const QMouseEvent& event) { return event.position().toPoint(); }

// The bitmap of an image control, made to hold the control's logical size at
// the screen's device pixel ratio. Painted through a QPainter, which works in
// logical pixels, the same points give the same picture at ratio 1 and one
// as sharp as the window's other controls on a high-density screen, rather
// than a ratio-1 bitmap stretched to fit.
QImage& BitmapAtScreenRatio(BitmapImage& image) {
    const qreal ratio = image.devicePixelRatioF();
    const QSize device(qCeil(image.width() * ratio), qCeil(image.height() * ratio));
    QImage& bitmap = image.Bitmap();
    if (bitmap.devicePixelRatio() != ratio || bitmap.size() != device) {
        QImage sharp(device, bitmap.isNull() ? QImage::Format_RGB32 : bitmap.format());
        sharp.setDevicePixelRatio(ratio);
        image.SetBitmap(sharp);
    }
    return image.Bitmap();
}

}  // namespace

EqGraph::EqGraph(TForm1& form) : form_(form), response_(std::make_unique<EqResponse>()) {}

EqGraph::~EqGraph() {
    // The window outlives the graph inside the program; from here on it
    // draws nothing rather than call into a graph that is gone.
    form_.SetEqGraph(nullptr);
}

// --- Set-up and redraw ---------------------------------------------------------------

void EqGraph::SetUpGraph(bool createLabels) {
    PaintSetUp(createLabels);
    form_.Image1->update();
}

void EqGraph::PaintSetUp(bool createLabels) {
    QImage& bitmap = BitmapAtScreenRatio(*form_.Image1);
    scale_.SetUp(form_.Image1->width(), form_.Image1->height());
    PaintGround(bitmap, MakeGridLines(scale_));
    if (createLabels && !axisLabels_[0]) CreateAxisLabels();
    PlaceAxisLabels();
}

void EqGraph::CreateAxisLabels() {
    QFont bold = form_.EQAdvPanel->font();
    bold.setBold(true);
    for (int i = 0; i < kAxisLabelCount; ++i) {
        const tr640::AxisLabel& axis = AxisLabels()[static_cast<std::size_t>(i)];
        auto* label = new QLabel(form_.EQAdvPanel);
        label->setObjectName(QString::fromLatin1(axis.name.data(), static_cast<qsizetype>(axis.name.size())));
        label->setTextFormat(Qt::PlainText);
        label->setFont(bold);
        QPalette palette = label->palette();
        palette.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(palette);
        label->setAutoFillBackground(false);  // the panel shows through
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->show();
        axisLabels_[static_cast<std::size_t>(i)] = label;
    }
}

void EqGraph::PlaceAxisLabels() {
    const int panelLeft = form_.AdvPanel2->x();
    const int panelTop = form_.AdvPanel2->y();
    for (int i = 0; i < kAxisLabelCount; ++i) {
        QLabel* label = axisLabels_[static_cast<std::size_t>(i)];
        if (!label) continue;
        const tr640::AxisLabel& axis = AxisLabels()[static_cast<std::size_t>(i)];
        // The text first, so the size and the centring follow it.
        const QString text = QString::fromLatin1(axis.text.data(), static_cast<qsizetype>(axis.text.size()));
        if (label->text() != text || label->size().isEmpty()) {
            label->setText(text);
            label->adjustSize();
        }
        const Place at = AxisLabelPlace(scale_, axis, label->width(), label->height(), panelLeft, panelTop);
        label->move(at.left, at.top);
    }
}

void EqGraph::DrawEq(int selectedBand, int mic) {
    if (mic < 0 || mic > 1 || form_.state().refreshInProgress) return;
    PaintSetUp(false);

    EvaluateEq(form_.store(), mic, *response_);
    for (int i = 0; i < kBandsPerMic; ++i) {
        const EqBand& band = response_->bands[static_cast<std::size_t>(i)].band;
        frequencyAddress_[static_cast<std::size_t>(i)] = band.frequencyAddress;
        gainAddress_[static_cast<std::size_t>(i)] = band.gainAddress;
        if (!HasHandle(band.type)) continue;
        BitmapImage* handle = form_.BandHandles[static_cast<std::size_t>(i)];
        const Place at = HandlePlace(scale_, band, handle->height() / 2);
        handle->move(at.left, at.top);
        handle->show();
    }
    bandsLoaded_ = true;

    if (selectedBand >= 0 && selectedBand < kBandsPerMic) PlaceReadout(selectedBand);

    MakeCurvePoints(response_->combined, scale_, points_);
    PaintCurve(form_.Image1->Bitmap(), points_);
    form_.Image1->update();
}

void EqGraph::PlaceReadout(int band) {
    const EqBand& values = response_->bands[static_cast<std::size_t>(band)].band;
    const BitmapImage* handle = form_.BandHandles[static_cast<std::size_t>(band)];
    QLabel* readout = form_.EQlabel;
    // The text first: the centring uses the new width.
    readout->setText(QString::fromStdString(ReadoutText(values)));
    readout->adjustSize();
    const Rect at{handle->x(), handle->y(), handle->width(), handle->height()};
    const Place place = ReadoutPlace(values, at, readout->width(), readout->height());
    readout->move(place.left, place.top);
}

// --- Handles -------------------------------------------------------------------------

int EqGraph::HandleTag(const QWidget* widget) const {
    const auto& handles = form_.BandHandles;
    const bool isHandle = std::find(handles.begin(), handles.end(), widget) != handles.end();
    return isHandle ? Tag(widget) : -1;
}

QLineEdit* EqGraph::BandField(int band, bool frequency) const {
    if (!bandsLoaded_ || band < 0 || band >= kBandsPerMic) return nullptr;
    const auto& addresses = frequency ? frequencyAddress_ : gainAddress_;
    return qobject_cast<QLineEdit*>(form_.controlMap().Value(addresses[static_cast<std::size_t>(band)]));
}

void EqGraph::HandleMouseDown(QWidget* handle, QMouseEvent& event) {
    if (handle) handle->setCursor(Qt::CrossCursor);
    const int tag = HandleTag(handle);
    const QPoint at = MousePoint(event);
    if (!drag_.Press(tag, at.x(), at.y())) return;

    // The band's frequency field becomes current, as if clicked: the wheel
    // and the arrow keys then step it, and re-applying its value shows the
    // band's readout on the next tick.
    const int mic = std::clamp(form_.state().activeMic, 0, 1);
    const int address = MakeAddress(1, kFirstBandIndex[mic] + kSlotsPerBand * tag + kSlotFrequency);
    if (auto* field = qobject_cast<QLineEdit*>(form_.controlMap().Value(address))) form_.Mic1FreEdit1Click(field);
}

void EqGraph::HandleMouseMove(QWidget* handle, QMouseEvent& event) {
    if (!handle) return;
    const QPoint at = MousePoint(event);
    const Rect now{handle->x(), handle->y(), handle->width(), handle->height()};
    const auto to = drag_.Move(at.x(), at.y(), now, form_.Image1->y(), form_.Image1->height(), scale_);
    if (to) handle->move(to->left, to->top);
}

void EqGraph::HandleMouseUp(QWidget* handle, QMouseEvent&) {
    drag_.Release();
    if (handle) handle->setCursor(Qt::ArrowCursor);
}

void EqGraph::ApplyDragStep() {
    const DragApply apply = drag_.TakeApply();
    if (!apply.Any()) return;
    // The fields store and send like typed values; the redraw check of the
    // same tick then draws the band with its readout.
    form_.Timer1->stop();
    if (apply.frequency)
        form_.ApplyValue(BandField(apply.band, true), Step::None, Source::User, apply.frequencyHz);
    if (apply.gain) form_.ApplyValue(BandField(apply.band, false), Step::None, Source::User, apply.gainStep);
    form_.Timer1->start();
}

}  // namespace tr640
