// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/CompressorCurve.h"

#include "model/ParamStore.h"
#include "model/ValueKinds.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace tr640 {

namespace {

constexpr std::size_t kLast = kCompressorPoints - 1;

// Clamps into [low, high]. A NaN is not ordered against anything, so
// std::clamp would hand it back unchanged; it goes to the low end instead,
// where a broken level does the least harm (the quietest point).
float Within(float value, float low, float high) {
    if (!(value >= low)) return low;
    if (value > high) return high;
    return value;
}

}  // namespace

int CompressorBand(int band) { return band == 0 || band == 1 ? band : 2; }

std::string_view CompressorTitle(int band) {
    switch (CompressorBand(band)) {
        case 0: return "低音 Compressor";
        case 1: return "中音 Compressor";
        default: return "高音 Compressor";
    }
}

ParamAddress CompressorCurveAddress(int band, int point) {
    return CompressorPointAddress(CompressorBand(band), point);
}

CompressorCurve ResetCompressorCurve() {
    return CompressorCurve{{-90.0f, -70.0f, -40.0f, 0.0f, 6.0f}, {-90.0f, -70.0f, -40.0f, 0.0f, 6.0f}};
}

CompressorCurve InitialChartCurve() {
    return CompressorCurve{{-90.0f, -80.0f, -50.0f, -20.0f, 6.0f}, {-90.0f, -80.0f, -50.0f, -20.0f, 6.0f}};
}

void LimitCompressorCurve(CompressorCurve& curve) {
    // Stored values from a device or a preset file can decode to anything
    // (a raw 0 is (-200, -200) dB, INT32_MIN about -8.4 million dB). They are
    // pulled to the nearest level the device has: inputs to -90 .. +6 dB,
    // outputs to -113 .. +15 dB, which also keeps every point on the chart's
    // fixed axes and every packed byte meaningful when it is stored again.
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        curve.input[k] = Within(curve.input[k], kCompressorInputMin, kCompressorInputMax);
        curve.output[k] = Within(curve.output[k], kCompressorOutputMin, kCompressorOutputMax);
        curve.output[k] = std::min(curve.output[k], curve.input[k] + kCompressorMaxGain);
    }
    curve.input[0] = kCompressorInputMin;
    curve.input[kLast] = kCompressorInputMax;
}

void OrderCompressorCurve(CompressorCurve& curve) {
    auto& in = curve.input;
    auto& out = curve.output;
    in[1] = std::min(in[1], in[2]);
    in[2] = std::min(in[2], in[3]);
    in[3] = std::min(in[3], in[4]);
    out[0] = std::min(out[0], out[1]);
    out[1] = std::min(out[1], out[2]);
    out[2] = std::min(out[2], out[3]);
    out[3] = std::min(out[3], out[4]);
}

void ConstrainCompressorCurve(CompressorCurve& curve) {
    LimitCompressorCurve(curve);
    OrderCompressorCurve(curve);
}

int WholeDb(float level) { return Nearest(static_cast<double>(level)); }

std::array<std::int32_t, kCompressorPoints> PackCompressorCurve(const CompressorCurve& curve) {
    std::array<std::int32_t, kCompressorPoints> packed{};
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        packed[k] = EncodeCompressorPoint(WholeDb(curve.input[k]), WholeDb(curve.output[k]));
    }
    return packed;
}

CompressorCurve UnpackCompressorCurve(const std::array<std::int32_t, kCompressorPoints>& packed) {
    CompressorCurve curve;
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        const CompressorPoint point = DecodeCompressorPoint(packed[k]);
        // Any int32 decodes to levels of at most about 8.4 million in size,
        // which a float holds exactly.
        curve.input[k] = static_cast<float>(point.inputDb);
        curve.output[k] = static_cast<float>(point.outputDb);
    }
    return curve;
}

CompressorCurve LoadCompressorCurve(const ParamStore& store, int band) {
    std::array<std::int32_t, kCompressorPoints> packed{};
    for (int k = 0; k < kCompressorPoints; ++k) {
        packed[static_cast<std::size_t>(k)] = store.Shown(CompressorCurveAddress(band, k));
    }
    return UnpackCompressorCurve(packed);
}

bool DragCompressorPoint(CompressorCurve& curve, int index, double x, double y) {
    if (index < 0 || index >= kCompressorPoints) return false;
    if (std::isnan(x) || std::isnan(y)) return false;
    const float in = static_cast<float>(std::clamp(x, double{kCompressorInputMin}, double{kCompressorInputMax}));
    const float top = static_cast<float>(std::clamp(y, double{kCompressorOutputMin}, double{kCompressorOutputMax}));
    const auto k = static_cast<std::size_t>(index);
    curve.input[k] = in;
    curve.output[k] = std::min(top, in + kCompressorMaxGain);
    return true;
}

void StoreCompressorCurve(const CompressorCurve& curve, int band, ParamStore& store, const SendParameterFn& send) {
    const auto packed = PackCompressorCurve(curve);
    for (int k = 0; k < kCompressorPoints; ++k) {
        store.SetShown(CompressorCurveAddress(band, k), packed[static_cast<std::size_t>(k)]);
    }
    if (!send) return;
    // From the top of the curve down, point 4 first; the change queue keeps
    // this order on its way to the device.
    for (int k = kCompressorPoints - 1; k >= 0; --k) {
        send(CompressorCurveAddress(band, k), packed[static_cast<std::size_t>(k)]);
    }
}

}  // namespace tr640
