// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Unit14.h"

#include "ui/ColourButton.h"
#include "ui/ControlTips.h"

#include "ui/Unit4.h"

#include <QChart>
#include <QChartView>
#include <QEvent>
#include <QFont>
#include <QGraphicsEllipseItem>
#include <QGraphicsLayout>
#include <QGraphicsSimpleTextItem>
#include <QGroupBox>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineF>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPalette>
#include <QPen>
#include <QPushButton>
#include <QRegularExpression>
#include <QScatterSeries>
#include <QScreen>
#include <QSpinBox>
#include <QValueAxis>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

namespace tr640 {

namespace {

constexpr int kPointRadius = 5;
// How far from a drawn point or line a press still counts as a hit: the
// points are small and the curve is only two pixels wide.
constexpr double kPointSlack = 2.0;
constexpr double kLineSlack = 3.0;

const QColor kChartBackground(157, 255, 255);
const QColor kIdentityLine(255, 255, 128);
const QColor kAxisTitle(0, 128, 0);
const QColor kGridLine(192, 192, 192);

// Sets a flag for the lifetime of the guard.
class FlagGuard {
public:
    explicit FlagGuard(bool& flag) : flag_(flag) { flag_ = true; }
    ~FlagGuard() { flag_ = false; }
    FlagGuard(const FlagGuard&) = delete;
    FlagGuard& operator=(const FlagGuard&) = delete;

private:
    bool& flag_;
};

double DistanceToSegment(QPointF p, QPointF a, QPointF b) {
    const QPointF ab = b - a;
    const double length2 = QPointF::dotProduct(ab, ab);
    if (length2 <= 0.0) return QLineF(p, a).length();
    double t = QPointF::dotProduct(p - a, ab) / length2;
    t = t < 0.0 ? 0.0 : (t > 1.0 ? 1.0 : t);
    return QLineF(p, a + t * ab).length();
}

QValueAxis* MakeLevelAxis(const QString& name, double low, double high, double interval, const QString& title) {
    auto* axis = new QValueAxis;
    axis->setObjectName(name);
    axis->setRange(low, high);
    // Labels on whole multiples of the interval, wherever the range starts.
    axis->setTickType(QValueAxis::TicksDynamic);
    axis->setTickAnchor(0.0);
    axis->setTickInterval(interval);
    axis->setMinorTickCount(0);
    // The ticks fall on whole dB, so no decimals are ever shown.
    axis->setLabelFormat(QStringLiteral("%.0fdB"));
    // Ten labels share the input axis's 320 or so pixels: a small face keeps
    // "-90dB" from being cut short.
    QFont labels = axis->labelsFont();
    labels.setPointSize(7);
    axis->setLabelsFont(labels);
    axis->setTitleText(title);
    QFont titleFont = axis->titleFont();
    titleFont.setBold(true);
    titleFont.setPointSize(9);
    axis->setTitleFont(titleFont);
    axis->setTitleBrush(kAxisTitle);
    axis->setGridLinePen(QPen(kGridLine, 1, Qt::SolidLine));
    axis->setGridLineVisible(true);
    return axis;
}

// A whole-number field that takes a typed number whole and clamps it to its
// range when it is committed (Enter, focus moving on): "20" in a field that
// ends at 15 gives 15. A plain spin box refuses the keystroke that leaves
// the range instead, which silently turns "20" into 2 and "-95" into -9.
class ClampingSpinBox final : public QSpinBox {
public:
    using QSpinBox::QSpinBox;

protected:
    QValidator::State validate(QString& input, int& pos) const override {
        const QValidator::State state = QSpinBox::validate(input, pos);
        if (state != QValidator::Invalid) return state;
        return ReadWhole(input) ? QValidator::Intermediate : QValidator::Invalid;
    }

    void fixup(QString& input) const override {
        if (const std::optional<qlonglong> number = ReadWhole(input))
            input = QString::number(std::clamp<qlonglong>(*number, minimum(), maximum()));
    }

private:
    // A signed decimal whole number; the digit limit keeps it far from
    // overflowing while still taking any number a user would type.
    static std::optional<qlonglong> ReadWhole(const QString& input) {
        static const QRegularExpression whole(QStringLiteral("^\\s*[-+]?[0-9]{1,9}\\s*$"));
        if (!whole.match(input).hasMatch()) return std::nullopt;
        return input.trimmed().toLongLong();
    }
};

// A caption that reads in English with Chinese chosen too (in the chosen
// language otherwise), its Chinese name kept as the hint.
void SetForeignCaption(QPushButton* button, int language, const char* chinese) {
    const Bilingual twins = Twins(language, chinese);
    button->setText(QString::fromStdString(twins.english));
    SetHint(button, QString::fromStdString(twins.chinese));
}

}  // namespace

TForm14::TForm14(ParamStore& store, SendParameterFn send, QWidget* mainWindow, int language)
    : QWidget(nullptr, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowStaysOnTopHint |
                           Qt::MSWindowsFixedSizeDialogHint),
      store_(store),
      send_(std::move(send)),
      mainWindow_(mainWindow),
      language_(language) {
    setObjectName(QStringLiteral("Form14"));
    setWindowTitle(QStringLiteral("Music Compressor"));
    setFixedSize(kClientWidth, kClientHeight);
    // Closing only hides the window; it is reopened from the curve buttons
    // and must never end the program.
    setAttribute(Qt::WA_DeleteOnClose, false);
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowState(Qt::WindowMinimized);

    BuildChart();
    BuildFields();
    SetModifyColour(AppliedColour());

    Update(CompressorUpdate::Load);
}

void TForm14::FormKeyDown(int key) {
    if (key == Qt::Key_Escape) hide();
}

void TForm14::keyPressEvent(QKeyEvent* event) {
    FormKeyDown(event->key());
    QWidget::keyPressEvent(event);
}

void TForm14::BuildChart() {
    auto* chart = new QChart;
    chart->setObjectName(QStringLiteral("Chart1Chart"));
    chart->setTitle(QStringLiteral("Compressor Curve"));
    QFont titleFont = chart->titleFont();
    titleFont.setPointSize(9);
    titleFont.setBold(true);
    chart->setTitleFont(titleFont);
    chart->setAnimationOptions(QChart::NoAnimation);
    chart->setBackgroundBrush(kChartBackground);
    chart->setBackgroundRoundness(0);
    chart->setPlotAreaBackgroundBrush(Qt::white);
    chart->setPlotAreaBackgroundVisible(true);
    chart->setMargins(QMargins(0, 0, 6, 0));
    chart->layout()->setContentsMargins(2, 2, 2, 2);
    chart->legend()->hide();

    Series3 = new QLineSeries;
    Series3->setObjectName(QStringLiteral("Series3"));
    Series3->setPen(QPen(kIdentityLine, 1, Qt::DotLine));

    Series1 = new QLineSeries;
    Series1->setObjectName(QStringLiteral("Series1"));
    Series1->setPen(QPen(Qt::red, 2, Qt::SolidLine));

    Series2 = new QScatterSeries;
    Series2->setObjectName(QStringLiteral("Series2"));
    Series2->setMarkerShape(QScatterSeries::MarkerShapeCircle);
    Series2->setMarkerSize(2 * kPointRadius);
    Series2->setColor(Qt::red);
    Series2->setBorderColor(Qt::red);

    // Points in rising input order, so that point k is value k of the series.
    const CompressorCurve initial = InitialChartCurve();
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        Series2->append(initial.input[k], initial.output[k]);
        Series1->append(initial.input[k], initial.output[k]);
    }
    Series3->append(kCompressorInputMin, kCompressorInputMin);
    Series3->append(kCompressorInputMax, kCompressorInputMax);

    chart->addSeries(Series3);
    chart->addSeries(Series1);
    chart->addSeries(Series2);

    BottomAxis = MakeLevelAxis(QStringLiteral("BottomAxis"), -90.0, 6.5, 10.0, QStringLiteral("Input/dB"));
    LeftAxis = MakeLevelAxis(QStringLiteral("LeftAxis"), -115.0, 20.0, 20.0, QStringLiteral("Output/dB"));
    chart->addAxis(BottomAxis, Qt::AlignBottom);
    chart->addAxis(LeftAxis, Qt::AlignLeft);
    for (QAbstractSeries* series : {static_cast<QAbstractSeries*>(Series3), static_cast<QAbstractSeries*>(Series1),
                                    static_cast<QAbstractSeries*>(Series2)}) {
        series->attachAxis(BottomAxis);
        series->attachAxis(LeftAxis);
    }

    // The point numbers are drawn by the window rather than as series labels:
    // a series can only label a point with its coordinates.
    QFont markFont = font();
    markFont.setBold(true);
    markFont.setPointSize(9);
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        auto* mark = new QGraphicsSimpleTextItem(QString::number(k), chart);
        mark->setFont(markFont);
        mark->setBrush(Qt::black);
        mark->setZValue(10);
        Series2Marks[k] = mark;
        // Pressing and dragging go by distance to the point (PointUnder),
        // so the circle takes no mouse button.
        auto* dot = new QGraphicsEllipseItem(-kPointRadius, -kPointRadius, 2 * kPointRadius, 2 * kPointRadius, chart);
        dot->setBrush(Series2->color());
        dot->setPen(QPen(Series2->borderColor()));
        dot->setAcceptedMouseButtons(Qt::NoButton);
        dot->setZValue(10);
        Series2Dots[k] = dot;
    }
    connect(chart, &QChart::plotAreaChanged, this, [this] { PlaceMarks(); });

    Chart1 = new QChartView(chart, this);
    Chart1->setObjectName(QStringLiteral("Chart1"));
    Chart1->setGeometry(8, 8, 433, 305);
    Chart1->setRenderHint(QPainter::Antialiasing);
    Chart1->setRubberBand(QChartView::NoRubberBand);
    Chart1->setFrameShape(QFrame::NoFrame);
    Chart1->viewport()->setMouseTracking(true);
    Chart1->viewport()->installEventFilter(this);
}

void TForm14::BuildFields() {
    RMSGropbox = new QGroupBox(this);
    RMSGropbox->setObjectName(QStringLiteral("RMSGropbox"));
    RMSGropbox->setGeometry(449, 8, 206, 252);
    SetHint(RMSGropbox, QStringLiteral("动态压缩"));

    auto label = [this](const char* name, const QString& text, int x, int y, int w) {
        auto* l = new QLabel(text, RMSGropbox);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextFormat(Qt::PlainText);
        l->setAlignment(Qt::AlignCenter);
        l->setGeometry(x, y, w, 20);
        return l;
    };
    Label1 = label("Label1", QStringLiteral("Point"), 6, 12, 42);
    Label2 = label("Label2", QStringLiteral("Input/dB"), 54, 12, 68);
    Label3 = label("Label3", QStringLiteral("Output/dB"), 128, 12, 72);

    auto spin = [this](const char* name, int low, int high, int x, int y) {
        auto* s = new ClampingSpinBox(RMSGropbox);
        s->setObjectName(QString::fromLatin1(name));
        s->setRange(low, high);
        // A change counts once the number is committed (Enter, focus moving
        // on, or a step), not at every keystroke: the update's limits would
        // otherwise rewrite a half-typed number.
        s->setKeyboardTracking(false);
        s->setAlignment(Qt::AlignRight);
        s->setGeometry(x, y, 68, 24);
        connect(s, &QSpinBox::valueChanged, this, [this] { RzSpinEdit1Change(); });
        return s;
    };
    const int in0 = static_cast<int>(kCompressorInputMin), in1 = static_cast<int>(kCompressorInputMax);
    const int out0 = static_cast<int>(kCompressorOutputMin), out1 = static_cast<int>(kCompressorOutputMax);
    const char* inputNames[] = {"RzSpinEdit1", "RzSpinEdit3", "RzSpinEdit5", "RzSpinEdit7", "RzSpinEdit9"};
    const char* outputNames[] = {"RzSpinEdit2", "RzSpinEdit4", "RzSpinEdit6", "RzSpinEdit8", "RzSpinEdit10"};
    const CompressorCurve design = ResetCompressorCurve();
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        const int y = 40 + 40 * static_cast<int>(k);
        RowLabels[k] = label(("Label" + std::to_string(4 + k)).c_str(), QString::number(k), 6, y + 2, 42);
        inputFields_[k] = spin(inputNames[k], in0, in1, 54, y);
        outputFields_[k] = spin(outputNames[k], out0, out1, 130, y);
        // Design-time values: the reset curve, set before the handlers could
        // matter (no update has run yet, and the colour is set afterwards).
        const QSignalBlocker blockIn(inputFields_[k]);
        const QSignalBlocker blockOut(outputFields_[k]);
        inputFields_[k]->setValue(WholeDb(design.input[k]));
        outputFields_[k]->setValue(WholeDb(design.output[k]));
    }
    RzSpinEdit1 = inputFields_[0];
    RzSpinEdit3 = inputFields_[1];
    RzSpinEdit5 = inputFields_[2];
    RzSpinEdit7 = inputFields_[3];
    RzSpinEdit9 = inputFields_[4];
    RzSpinEdit2 = outputFields_[0];
    RzSpinEdit4 = outputFields_[1];
    RzSpinEdit6 = outputFields_[2];
    RzSpinEdit8 = outputFields_[3];
    RzSpinEdit10 = outputFields_[4];
    // The end points' inputs are fixed at -90 and +6 dB.
    RzSpinEdit1->setEnabled(false);
    RzSpinEdit9->setEnabled(false);

    RzButton2 = new ColourButton(this);
    RzButton2->setObjectName(QStringLiteral("RzButton2"));
    RzButton2->setGeometry(449, 270, 99, 40);
    SetForeignCaption(RzButton2, language_, "修改");
    connect(RzButton2, &QPushButton::clicked, this, [this] { RzButton2Click(); });

    RzButton3 = new QPushButton(this);
    RzButton3->setObjectName(QStringLiteral("RzButton3"));
    RzButton3->setGeometry(556, 270, 99, 40);
    SetForeignCaption(RzButton3, language_, "复位");
    connect(RzButton3, &QPushButton::clicked, this, [this] { RzButton3Click(); });
    ShowTips();
}

// The fields and buttons act on the band shown, so their tips name its points.
void TForm14::ShowTips() {
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        const int point = static_cast<int>(k);
        for (const bool input : {true, false}) {
            QSpinBox* field = input ? inputFields_[k] : outputFields_[k];
            field->setToolTip(CompressorFieldTip(band_, point, input, language_));
            field->setAccessibleName(CompressorFieldAccessibleName(band_, point, input, language_));
        }
    }
    RzButton2->setToolTip(CompressorButtonTip(band_, false, language_));
    RzButton3->setToolTip(CompressorButtonTip(band_, true, language_));
}

void TForm14::OpenForBand(int band) {
    band_ = band;
    ShowTips();
    // The window is created minimized; opening it for a band means the user
    // wants to see it, so it comes back as a normal window.
    setWindowState(windowState() & ~Qt::WindowMinimized);
    if (!placed_) {
        CentreOver(*this, mainWindow_);
        placed_ = true;
    }
    show();
    Update(CompressorUpdate::Load);
    raise();
    activateWindow();
}

void TForm14::Update(CompressorUpdate kind) {
    const FlagGuard updating(updating_);
    const int shownBand = band_;
    band_ = CompressorBand(band_);
    if (band_ != shownBand) ShowTips();
    setWindowTitle(QString::fromStdString(Translate(language_, CompressorTitle(band_))));

    switch (kind) {
        case CompressorUpdate::Load: curve_ = LoadCompressorCurve(store_, band_); break;
        case CompressorUpdate::Fields: ReadFields(); break;
        case CompressorUpdate::Drag:
        case CompressorUpdate::Apply: break;
    }
    ConstrainCompressorCurve(curve_);
    WriteFields();
    if (kind == CompressorUpdate::Apply) {
        if (applyStarting_) applyStarting_();
        StoreCompressorCurve(curve_, band_, store_, send_);
    }
    Redraw();
}

void TForm14::ReadFields() {
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        curve_.input[k] = static_cast<float>(inputFields_[k]->value());
        curve_.output[k] = static_cast<float>(outputFields_[k]->value());
    }
}

void TForm14::WriteFields() {
    // Each change raises the fields' handler, which only colours Modify
    // while an update runs.
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        inputFields_[k]->setValue(WholeDb(curve_.input[k]));
        outputFields_[k]->setValue(WholeDb(curve_.output[k]));
    }
}

void TForm14::Redraw() {
    // The curve keeps the unrounded levels: a dragged point stays under the
    // mouse while its fields show whole dB.
    QList<QPointF> line;
    line.reserve(kCompressorPoints);
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        const QPointF p(curve_.input[k], curve_.output[k]);
        line.append(p);
        Series2->replace(static_cast<int>(k), p);
    }
    Series1->replace(line);
    PlaceMarks();
}

void TForm14::PlaceMarks() {
    QChart* chart = Chart1 ? Chart1->chart() : nullptr;
    if (!chart) return;
    for (std::size_t k = 0; k < kCompressorPoints; ++k) {
        QGraphicsSimpleTextItem* mark = Series2Marks[k];
        const QPointF at = chart->mapToPosition(Series2->at(static_cast<int>(k)), Series2);
        const QRectF box = mark->boundingRect();
        // Centred just above the point, clear of its circle.
        mark->setPos(at.x() - box.width() / 2.0, at.y() - kPointRadius - box.height());
        Series2Dots[k]->setPos(at);
    }
}

void TForm14::SetModifyColour(const QColor& colour) {
    QPalette palette = RzButton2->palette();
    palette.setColor(QPalette::Button, colour);
    RzButton2->setPalette(palette);
    RzButton2->setAutoFillBackground(true);
}

void TForm14::RzSpinEdit1Change() {
    if (!updating_) Update(CompressorUpdate::Fields);
    SetModifyColour(PendingColour());
}

void TForm14::RzButton2Click() {
    Update(CompressorUpdate::Apply);
    SetModifyColour(AppliedColour());
}

void TForm14::RzButton3Click() {
    curve_ = ResetCompressorCurve();
    Update(CompressorUpdate::Apply);
}

void TForm14::Chart1ClickSeries(QAbstractSeries* series, int valueIndex) {
    clickedIndex_ = valueIndex;
    pointClicked_ = true;
    if (series == Series2) dragging_ = true;
}

void TForm14::Chart1MouseMove(QPoint position) {
    if (!dragging_ || !pointClicked_ || clickedIndex_ < 0 || clickedIndex_ >= kCompressorPoints) return;
    const QPointF levels = LevelsAt(position);
    if (DragCompressorPoint(curve_, clickedIndex_, levels.x(), levels.y())) Update(CompressorUpdate::Drag);
}

void TForm14::Chart1MouseUp() {
    if (!dragging_) return;
    dragging_ = false;
    pointClicked_ = false;
}

QPoint TForm14::PointPosition(int k) const {
    QChart* chart = Chart1->chart();
    const QPointF inChart = chart->mapToPosition(Series2->at(k), Series2);
    return Chart1->mapFromScene(chart->mapToScene(inChart));
}

QPointF TForm14::LevelsAt(QPoint position) const {
    QChart* chart = Chart1->chart();
    const QPointF inChart = chart->mapFromScene(Chart1->mapToScene(position));
    return chart->mapToValue(inChart, Series2);
}

int TForm14::PointUnder(QPoint position) const {
    // The last point drawn lies on top, and when points coincide the higher
    // one is the one that can still move sideways.
    for (int k = kCompressorPoints - 1; k >= 0; --k) {
        if (QLineF(QPointF(position), QPointF(PointPosition(k))).length() <= kPointRadius + kPointSlack) return k;
    }
    return -1;
}

void TForm14::PressOnChart(QPoint position) {
    const int point = PointUnder(position);
    if (point >= 0) {
        Chart1ClickSeries(Series2, point);
        return;
    }
    // The lines lie below the points: the curve, then the reference line.
    QChart* chart = Chart1->chart();
    for (QLineSeries* line : {Series1, Series3}) {
        const int count = static_cast<int>(line->count());
        for (int i = 0; i + 1 < count; ++i) {
            const QPointF a = Chart1->mapFromScene(chart->mapToScene(chart->mapToPosition(line->at(i), line)));
            const QPointF b = Chart1->mapFromScene(chart->mapToScene(chart->mapToPosition(line->at(i + 1), line)));
            const QPointF p(position);
            if (DistanceToSegment(p, a, b) <= kLineSlack) {
                // The value hit is the nearer end of the segment.
                Chart1ClickSeries(line, QLineF(p, a).length() <= QLineF(p, b).length() ? i : i + 1);
                return;
            }
        }
    }
}

bool TForm14::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Chart1->viewport()) {
        switch (event->type()) {
            case QEvent::MouseButtonPress: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                if (mouse->button() == Qt::LeftButton) PressOnChart(mouse->position().toPoint());
                break;
            }
            case QEvent::MouseMove: {
                const auto* mouse = static_cast<QMouseEvent*>(event);
                const QPoint position = mouse->position().toPoint();
                // The draggable points show a crosshair.
                if (dragging_ || PointUnder(position) >= 0) {
                    Chart1->viewport()->setCursor(Qt::CrossCursor);
                } else {
                    Chart1->viewport()->unsetCursor();
                }
                Chart1MouseMove(position);
                break;
            }
            case QEvent::MouseButtonRelease: Chart1MouseUp(); break;
            default: break;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tr640
