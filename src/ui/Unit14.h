// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "model/CompressorCurve.h"
#include "model/Language.h"
#include "model/ParamStore.h"

#include <QColor>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

class QAbstractSeries;
class QChartView;
class QGraphicsEllipseItem;
class QGraphicsSimpleTextItem;
class QGroupBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QScatterSeries;
class QSpinBox;
class QValueAxis;

namespace tr640 {

// The compressor curve window: one dynamics band's five-point curve on a
// chart whose points can be dragged, ten fields with the points' levels in
// whole dB, and the buttons that apply the curve to the device or reset it.
// Controls are public members; each carries its name as its objectName.
//
// It is created hidden at start-up and lives until the program ends: closing
// only hides it. Nothing it does reaches the device except through `send`.
class TForm14 : public QWidget {
    Q_OBJECT

public:
    static constexpr int kClientWidth = 663;
    static constexpr int kClientHeight = 320;
    // Modify's colour while the window holds changes not yet applied, and
    // once they have been.
    static QColor PendingColour() { return QColor(0, 255, 0); }
    static QColor AppliedColour() { return QColor(192, 192, 192); }

    // `send` is the link's SendParameter: it stores a value in both images
    // and sends it when the link is idle. `mainWindow` is the window it is
    // centred over the first time it shows.
    // `language` is the program's, for the window's titles and captions.
    TForm14(ParamStore& store, SendParameterFn send, QWidget* mainWindow = nullptr,
            int language = kLanguageChinese);

    void SetMainWindow(QWidget* mainWindow) { mainWindow_ = mainWindow; }
    // Runs before an apply stores and sends the curve.
    void SetApplyStarting(std::function<void()> starting) { applyStarting_ = std::move(starting); }

    // The main window's curve buttons: shows the window for dynamics band
    // `band` (0 low, 1 mid, 2 high), loads that band from the shown image
    // and brings the window to the top where it is.
    void OpenForBand(int band);

    // Takes the values as `kind` says, limits and orders them, shows them in
    // the fields and on the chart; Apply also stores and sends them.
    void Update(CompressorUpdate kind);

    // Handlers.
    void RzSpinEdit1Change();  // any of the ten fields changed
    void RzButton2Click();     // Modify
    void RzButton3Click();     // Reset
    // A press on a series: the index of the value hit within that series.
    void Chart1ClickSeries(QAbstractSeries* series, int valueIndex);
    // Mouse movement and release over the chart, in Chart1's viewport.
    void Chart1MouseMove(QPoint position);
    void Chart1MouseUp();
    // A key the window's controls left: Esc hides the window as its close
    // does, for screens without a window manager to close it.
    void FormKeyDown(int key);

    int Band() const { return band_; }
    const CompressorCurve& Curve() const { return curve_; }
    bool Updating() const { return updating_; }
    bool PointClicked() const { return pointClicked_; }
    bool Dragging() const { return dragging_; }
    int ClickedIndex() const { return clickedIndex_; }

    // Where point k of Series2 is drawn, and the levels (input, output) at a
    // position, both in Chart1's viewport coordinates.
    QPoint PointPosition(int k) const;
    QPointF LevelsAt(QPoint position) const;

    QChartView* Chart1;
    QLineSeries* Series3;    // output = input, for reference
    QLineSeries* Series1;    // the curve
    QScatterSeries* Series2; // the five points that can be dragged
    QValueAxis* BottomAxis;  // input
    QValueAxis* LeftAxis;    // output
    std::array<QGraphicsSimpleTextItem*, kCompressorPoints> Series2Marks{};
    // Each point's circle, drawn whole over the series' own: the chart cuts
    // the series at the plot area's edge, where points 0 and 4 sit at the
    // ends of the input axis.
    std::array<QGraphicsEllipseItem*, kCompressorPoints> Series2Dots{};

    QGroupBox* RMSGropbox;
    QLabel* Label1;  // "Point"
    QLabel* Label2;  // "Input/dB"
    QLabel* Label3;  // "Output/dB"
    std::array<QLabel*, kCompressorPoints> RowLabels{};  // "0" .. "4"
    QSpinBox *RzSpinEdit1, *RzSpinEdit2, *RzSpinEdit3, *RzSpinEdit4, *RzSpinEdit5;
    QSpinBox *RzSpinEdit6, *RzSpinEdit7, *RzSpinEdit8, *RzSpinEdit9, *RzSpinEdit10;
    QPushButton* RzButton2;  // "Modify"
    QPushButton* RzButton3;  // "Reset"

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void BuildChart();
    void BuildFields();
    void ReadFields();
    void WriteFields();
    void Redraw();
    void ShowTips();
    void PlaceMarks();
    void SetModifyColour(const QColor& colour);
    void PressOnChart(QPoint position);
    int PointUnder(QPoint position) const;

    ParamStore& store_;
    SendParameterFn send_;
    QPointer<QWidget> mainWindow_;
    const int language_;
    bool placed_ = false;
    std::function<void()> applyStarting_;

    int band_ = kCompressorStartBand;
    CompressorCurve curve_;
    bool updating_ = false;
    bool pointClicked_ = false;
    bool dragging_ = false;
    int clickedIndex_ = -1;

    // Point k's fields, in the order of the points.
    std::array<QSpinBox*, kCompressorPoints> inputFields_{};
    std::array<QSpinBox*, kCompressorPoints> outputFields_{};
};

}  // namespace tr640
