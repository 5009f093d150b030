// SPDX-License-Identifier: GPL-3.0-or-later
#include "eqgraph/EqPicture.h"

#include "eqgraph/CurveSpline.h"
#include "eqgraph/EqRender.h"
#include "eqgraph/FrequencyResponse.h"
#include "eqgraph/GraphGeometry.h"

#include <memory>

namespace tr640 {

QImage EqGraphPicture(const ParamStore& store, int mic) {
    QImage image(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
    GraphScale scale;
    scale.SetUp(kGraphWidth, kGraphHeight);
    PaintGround(image, MakeGridLines(scale));
    auto response = std::make_unique<EqResponse>();
    EvaluateEq(store, mic, *response);
    auto points = std::make_unique<CurvePoints>();
    MakeCurvePoints(response->combined, scale, *points);
    PaintCurve(image, *points);
    return image;
}

}  // namespace tr640
