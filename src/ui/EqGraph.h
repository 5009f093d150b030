// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "eqgraph/CurveSpline.h"
#include "eqgraph/FrequencyResponse.h"
#include "eqgraph/GraphGeometry.h"
#include "eqgraph/HandleDrag.h"
#include "ui/Unit1.h"

#include <array>
#include <memory>

class QLabel;
class QLineEdit;

namespace tr640 {

// The EQ graph of the main window: paints the ground, the grid and the
// shown microphone's curve into Image1, keeps the axis labels in place,
// puts the band handles on their bands and the readout beside the selected
// one, and turns handle drags into band values on the refresh timer.
class EqGraph final : public EqGraphHooks {
public:
    explicit EqGraph(TForm1& form);
    ~EqGraph() override;

    EqGraph(const EqGraph&) = delete;
    EqGraph& operator=(const EqGraph&) = delete;

    void SetUpGraph(bool createLabels) override;
    void DrawEq(int selectedBand, int mic) override;
    void ApplyDragStep() override;
    void HandleMouseDown(QWidget* handle, QMouseEvent& event) override;
    void HandleMouseMove(QWidget* handle, QMouseEvent& event) override;
    void HandleMouseUp(QWidget* handle, QMouseEvent& event) override;
    bool DragWorkWaiting() const override { return drag_.WorkWaiting(); }

    // --- What the last set-up and redraw left, for the tests and the
    // benchmarks -------------------------------------------------------------
    const GraphScale& Scale() const { return scale_; }
    const DragState& Drag() const { return drag_.State(); }
    const CurvePoints& Points() const { return points_; }
    const EqResponse& Response() const { return *response_; }
    // EQLabelY0 .. EQLabelY7, then EQLabelX11 .. EQLabelX20; null until the
    // first set-up that creates them.
    QLabel* AxisLabel(int index) const { return axisLabels_[static_cast<std::size_t>(index)]; }

private:
    void PaintSetUp(bool createLabels);
    void CreateAxisLabels();
    void PlaceAxisLabels();
    void PlaceReadout(int band);
    int HandleTag(const QWidget* widget) const;
    QLineEdit* BandField(int band, bool frequency) const;

    TForm1& form_;
    GraphScale scale_;
    std::array<QLabel*, kAxisLabelCount> axisLabels_{};
    std::unique_ptr<EqResponse> response_;
    CurvePoints points_{};
    HandleDrag drag_;
    // The bands' fields as the last redraw found them; the drag applies to these.
    std::array<int, kBandsPerMic> frequencyAddress_{};
    std::array<int, kBandsPerMic> gainAddress_{};
    bool bandsLoaded_ = false;
};

}  // namespace tr640
