#include "viewer/HeatMapTab.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"
#include "widgets/NightScheme.h"

namespace quarn {
namespace {

// Low values blue, high ones red: for a mixture map, rich is blue and lean
// is red.
QCPColorGradient Gradient() {
    QCPColorGradient g;
    g.setColorStops({{0.0, QColor(60, 110, 220)},
                     {0.35, QColor(80, 200, 120)},
                     {0.65, QColor(250, 215, 70)},
                     {1.0, QColor(225, 60, 45)}});
    g.setNanHandling(QCPColorGradient::nhTransparent);
    return g;
}

// A step as typed: up to three decimals, none shown that are zero, so a
// step of 500 reads "500" and one of 7.5 keeps its half.
class StepBox final : public QDoubleSpinBox {
public:
    using QDoubleSpinBox::QDoubleSpinBox;
    QString textFromValue(double value) const override {
        QString text = locale().toString(value, 'f', decimals());
        text.remove(locale().groupSeparator());
        if (text.contains(locale().decimalPoint())) {
            while (text.endsWith(u'0')) text.chop(1);
            if (text.endsWith(locale().decimalPoint())) text.chop(1);
        }
        return text;
    }
};

// The cells Edges makes of lo..hi at this step.
double CellCount(double step, double lo, double hi) {
    const double start = std::floor(lo / step) * step;
    return std::floor((hi - start) / step) + 1;
}

// As Edges allows: the span over the step at most kHeatMaxCells.
bool Fits(double step, double lo, double hi) {
    return (hi - lo) / step <= kHeatMaxCells;
}

// The smallest round step (1, 2 or 5 times a power of ten) that fits.
double SmallestFittingStep(double lo, double hi) {
    const double rough = std::max((hi - lo) / kHeatMaxCells, 1e-3);
    double decade = std::pow(10, std::floor(std::log10(rough)));
    for (;; decade *= 10)
        for (double m : {1.0, 2.0, 5.0})
            if (m * decade >= rough && Fits(m * decade, lo, hi)) return m * decade;
}

QString EdgeText(double v) {
    return QString::number(v, 'g', 6);
}

QString MeanText(double v) {
    const double a = std::abs(v);
    return QString::number(v, 'f', a >= 1000 ? 0 : a >= 100 ? 1 : 2);
}

}  // namespace

HeatMapTab::HeatMapTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HeatMapTab"));
    const auto& channels = ViewerChannels();
    auto* layout = new QVBoxLayout(this);
    auto* controls = new QGridLayout;
    layout->addLayout(controls);

    // Two groups a row, so the tab (beside the viewer's side table) fits a
    // 1280-pixel screen: X and Y, then Z with what to count, then the
    // filters.
    const auto group = [&](int index, const QString& label, std::initializer_list<QWidget*> fields) {
        const int row = index / 2, col = (index % 2) * 2;
        controls->addWidget(new QLabel(label, this), row, col, Qt::AlignRight);
        auto* box = new QHBoxLayout;
        for (QWidget* w : fields) box->addWidget(w);
        box->addStretch(1);
        controls->addLayout(box, row, col + 1);
    };
    controls->setColumnStretch(4, 1);

    const char* axisNames[3] = {"X", "Y", "Z (mean)"};
    for (int a = 0; a < 3; ++a) {
        m_axis[a] = new QComboBox(this);
        m_axis[a]->setObjectName(QStringLiteral("HeatAxis%1").arg(a));
        for (const ViewerChannel& c : channels) m_axis[a]->addItem(c.name);
        if (a < 2) {
            m_step[a] = new StepBox(this);
            m_step[a]->setObjectName(QStringLiteral("HeatStep%1").arg(a));
            m_step[a]->setPrefix(QStringLiteral("step "));
            m_step[a]->setDecimals(3);
            m_step[a]->setRange(0.001, 1e6);
            m_step[a]->setToolTip(
                QStringLiteral("Cell width; at most %1 cells").arg(kHeatMaxCells));
            group(a, QString::fromLatin1(axisNames[a]), {m_axis[a], m_step[a]});
            // Taken when typed out (Enter or leaving the box), not at each
            // digit: "1" on the way to "100" would be refused.
            m_step[a]->setKeyboardTracking(false);
            connect(m_step[a], &QDoubleSpinBox::valueChanged, this, [this, a] { StepTyped(a); });
        }
        connect(m_axis[a], &QComboBox::currentIndexChanged, this, [this, a] { ChannelChanged(a); });
    }
    group(2, QString::fromLatin1(axisNames[2]), {m_axis[2]});

    m_selectionOnly = new QCheckBox(QStringLiteral("Only the selected range"), this);
    connect(m_selectionOnly, &QCheckBox::toggled, this, [this] { ScheduleRecompute(); });
    auto* showMean = new QRadioButton(QStringLiteral("Mean"), this);
    m_showCount = new QRadioButton(QStringLiteral("Count"), this);
    showMean->setChecked(true);
    m_copy = new QPushButton(QStringLiteral("Copy"), this);
    m_copy->setObjectName(QStringLiteral("HeatCopy"));
    m_copy->setToolTip(QStringLiteral("Copy means and counts as tab-separated text for a "
                                      "spreadsheet"));
    group(3, QString(), {m_selectionOnly, showMean, m_showCount, m_copy});
    connect(m_showCount, &QRadioButton::toggled, this, [this] { ShowResult(); });
    connect(m_copy, &QPushButton::clicked, this, &HeatMapTab::Copy);

    m_where = new QLineEdit(this);
    m_where->setObjectName(QStringLiteral("HeatWhere"));
    m_where->setPlaceholderText(QStringLiteral("every record; e.g. ECT > 180 and TPS > 1"));
    m_where->setToolTip(QStringLiteral("A formula over the channels, math channels included: "
                                       "only the records where it holds are counted"));
    m_presets = new QComboBox(this);
    m_presets->setObjectName(QStringLiteral("HeatWherePresets"));
    m_presets->addItem(QStringLiteral("Presets…"));
    for (const HeatWherePreset& p : HeatWherePresets())
        m_presets->addItem(QString::fromUtf8(p.label), QString::fromUtf8(p.formula));
    m_whereError = new QLabel(this);
    m_whereError->setObjectName(QStringLiteral("HeatWhereError"));
    m_whereError->setStyleSheet(QStringLiteral("color: #b01414"));
    {
        auto* box = new QHBoxLayout;
        box->addWidget(m_where, 1);
        box->addWidget(m_presets);
        box->addWidget(m_whereError, 1);
        controls->addWidget(new QLabel(QStringLiteral("Only where"), this), 2, 0, Qt::AlignRight);
        controls->addLayout(box, 2, 1, 1, 4);
    }
    connect(m_where, &QLineEdit::editingFinished, this, &HeatMapTab::WhereChanged);
    connect(m_presets, &QComboBox::activated, this, &HeatMapTab::PresetChosen);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("HeatCaption"));
    // A long caption wraps rather than widening the window.
    m_caption->setWordWrap(true);
    layout->addWidget(m_caption);
    auto* split = new QSplitter(Qt::Vertical, this);
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("HeatTable"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setDefaultSectionSize(52);
    m_table->horizontalHeader()->setMinimumSectionSize(30);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    split->addWidget(m_table);
    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("HeatPlot"));
    m_map = new QCPColorMap(m_plot->xAxis, m_plot->yAxis);
    m_map->setGradient(Gradient());
    m_map->setInterpolate(false);
    m_scale = new QCPColorScale(m_plot);
    m_plot->plotLayout()->addElement(0, 1, m_scale);
    m_map->setColorScale(m_scale);
    m_scale->setGradient(Gradient());
    auto* margins = new QCPMarginGroup(m_plot);
    m_plot->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    m_scale->setMarginGroup(QCP::msBottom | QCP::msTop, margins);
    split->addWidget(m_plot);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    m_recompute.setSingleShot(true);
    m_recompute.setInterval(30);
    connect(&m_recompute, &QTimer::timeout, this, &HeatMapTab::Recompute);

    // A mixture map: air-fuel ratio over engine speed and air flow.
    SetChannels(ViewerChannelId(QStringLiteral("RPM")), ViewerChannelId(QStringLiteral("MAF")),
                ViewerChannelId(QStringLiteral("WideO2")));
}

void HeatMapTab::SetTable(const LogTable* table) {
    m_logTable = table;
    m_whereDirty = true;
    ChannelsChanged();
    m_hasSelection = false;
    ChannelChanged(0);
    ChannelChanged(1);
    ScheduleRecompute();
}

void HeatMapTab::ChannelsChanged() {
    // The log's own channels never change; the math channels after them do.
    const std::size_t own = ViewerChannels().size();
    const auto& channels = m_logTable ? m_logTable->Channels() : ViewerChannels();
    auto refill = [&](QComboBox* box, int before) {
        const QSignalBlocker block(box);
        const QString current = box->currentText();
        while (box->count() > before + static_cast<int>(own)) box->removeItem(box->count() - 1);
        for (std::size_t i = own; i < channels.size(); ++i)
            box->addItem(channels[i].name, static_cast<int>(i));
        if (box->currentText() != current) {
            const int at = box->findText(current);
            box->setCurrentIndex(at >= 0 ? at : 0);
        }
    };
    for (QComboBox* box : m_axis) refill(box, 0);
    // A formula may name a math channel that came or went.
    m_whereDirty = true;
    ScheduleRecompute();
}

void HeatMapTab::SetSelection(bool has, std::size_t row0, std::size_t row1) {
    m_hasSelection = has;
    m_row0 = row0;
    m_row1 = row1;
    if (m_selectionOnly->isChecked()) ScheduleRecompute();
}

void HeatMapTab::SetChannels(int x, int y, int z) {
    const int ids[3] = {x, y, z};
    for (int a = 0; a < 3; ++a)
        if (ids[a] >= 0) m_axis[a]->setCurrentIndex(ids[a]);
}

void HeatMapTab::SetWhere(const QString& formula) {
    m_where->setText(formula);
    WhereChanged();
}

void HeatMapTab::WhereChanged() {
    m_whereDirty = true;
    ScheduleRecompute();
}

void HeatMapTab::PresetChosen(int index) {
    // The box is filled, not locked: a preset is a start the user edits.
    if (index <= 0) return;
    const QString formula = m_presets->itemData(index).toString();
    {
        const QSignalBlocker block(m_presets);
        m_presets->setCurrentIndex(0);
    }
    SetWhere(formula);
}

void HeatMapTab::MeasureSpan(int axis) {
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    if (m_logTable) {
        // Cells span what the engine did, not the start-up values.
        const std::vector<float>& column = m_logTable->Column(m_axis[axis]->currentIndex());
        for (std::size_t r = m_logTable->WarmUpRows(); r < column.size(); ++r)
            if (std::isfinite(column[r]))
                lo = std::min<double>(lo, column[r]), hi = std::max<double>(hi, column[r]);
    }
    if (!(hi >= lo)) lo = hi = 0;
    m_lo[axis] = lo;
    m_hi[axis] = hi;
}

void HeatMapTab::DataGrew() {
    m_whereDirty = true;
    // The spans are read over the whole log: a hidden tab measures them
    // once, when shown, not on every follow tick.
    m_grewHidden = !isVisible();
    if (m_grewHidden) {
        m_dirty = true;
        return;
    }
    for (int axis = 0; axis < 2; ++axis) {
        MeasureSpan(axis);
        // A followed recording widened the span past the cells allowed: the
        // box shows the step the map then uses.
        const double step = m_step[axis]->value();
        if (!Fits(step, m_lo[axis], m_hi[axis])) {
            double wider = step;
            while (!Fits(wider, m_lo[axis], m_hi[axis])) wider *= 2;
            const QSignalBlocker block(m_step[axis]);
            m_step[axis]->setValue(wider);
        }
    }
    ScheduleRecompute();
}

void HeatMapTab::StepTyped(int axis) {
    const double step = m_step[axis]->value();
    if (!Fits(step, m_lo[axis], m_hi[axis])) {
        const double cells = CellCount(step, m_lo[axis], m_hi[axis]);
        const double fits = SmallestFittingStep(m_lo[axis], m_hi[axis]);
        m_stepProblem =
            QStringLiteral(" A step of %1 for %2 would make %3 cells; at most %4 fit, so the "
                           "step stays %5 (%6 or more fits).")
                .arg(EdgeText(step), m_axis[axis]->currentText())
                .arg(cells, 0, 'f', 0)
                .arg(kHeatMaxCells)
                .arg(EdgeText(m_accepted[axis]), EdgeText(fits));
        {
            const QSignalBlocker block(m_step[axis]);
            m_step[axis]->setValue(m_accepted[axis]);
        }
        ShowResult();
        return;
    }
    m_accepted[axis] = step;
    m_stepProblem.clear();
    ScheduleRecompute();
}

void HeatMapTab::ChannelChanged(int axis) {
    if (axis < 2) {
        // The default cells for the channel over what the log holds.
        MeasureSpan(axis);
        const std::vector<double> edges =
            DefaultHeatEdges(m_axis[axis]->currentIndex(), m_lo[axis], m_hi[axis]);
        if (edges.size() >= 2) {
            const QSignalBlocker block(m_step[axis]);
            const double step = edges[1] - edges[0];
            m_step[axis]->setValue(step);
            m_accepted[axis] = m_step[axis]->value();
            m_stepProblem.clear();
        }
    }
    ScheduleRecompute();
}

std::vector<double> HeatMapTab::Edges(int axis) const {
    return StepHeatEdges(m_lo[axis], m_hi[axis], std::max(m_step[axis]->value(), 1e-9));
}

void HeatMapTab::ScheduleRecompute() {
    m_dirty = true;
    if (isVisible()) m_recompute.start();
}

void HeatMapTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_grewHidden) DataGrew();
    if (m_dirty) m_recompute.start();
}

void HeatMapTab::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // The cells' colours follow the night scheme, which comes with a new palette.
    if (event->type() == QEvent::PaletteChange) ShowResult();
}

void HeatMapTab::Recompute() {
    m_recompute.stop();
    m_dirty = false;
    m_result = HeatMapResult();
    if (m_whereDirty) {
        ExpressionError error;
        m_condition = m_logTable ? EvaluateCondition(*m_logTable, m_where->text(), &error)
                                 : std::vector<float>();
        m_whereFailed = error.Failed();
        m_whereError->setText(ErrorText(error));
        m_whereDirty = false;
    }
    // A formula that cannot be read maps nothing rather than everything:
    // a map of every record would pass for the filtered one.
    if (m_logTable && m_logTable->Rows() > 0 && !m_whereFailed) {
        std::size_t row0 = 0, row1 = m_logTable->Rows();
        if (m_selectionOnly->isChecked() && m_hasSelection) {
            row0 = std::min(m_row0, row1);
            row1 = std::clamp(m_row1, row0, row1);
        }
        m_result = ComputeHeatMap(*m_logTable, m_axis[0]->currentIndex(),
                                  m_axis[1]->currentIndex(), m_axis[2]->currentIndex(), Edges(0),
                                  Edges(1), m_condition, row0, row1);
    }
    ShowResult();
}

void HeatMapTab::ShowResult() {
    const HeatMapResult& r = m_result;
    const int cols = static_cast<int>(r.Cols());
    const int rows = static_cast<int>(r.RowsOfCells());
    const bool counts = m_showCount->isChecked();
    const bool night = NightSchemeOn();
    m_table->clear();
    m_table->setColumnCount(cols);
    m_table->setRowCount(rows);
    QStringList top, side;
    for (int x = 0; x < cols; ++x) top << EdgeText(r.xEdges[static_cast<std::size_t>(x)]);
    for (int y = 0; y < rows; ++y) side << EdgeText(r.yEdges[static_cast<std::size_t>(y)]);
    m_table->setHorizontalHeaderLabels(top);
    m_table->setVerticalHeaderLabels(side);
    QCPColorGradient gradient = Gradient();
    const QCPRange range(r.zMin, r.zMax > r.zMin ? r.zMax : r.zMin + 1);
    std::int64_t maxCount = 1;
    for (std::int64_t c : r.count) maxCount = std::max(maxCount, c);
    const QString x = m_axis[0]->currentText(), y = m_axis[1]->currentText(),
                  z = m_axis[2]->currentText();
    for (int yi = 0; yi < rows; ++yi)
        for (int xi = 0; xi < cols; ++xi) {
            const std::size_t cell = static_cast<std::size_t>(yi) * r.Cols() + static_cast<std::size_t>(xi);
            const std::int64_t count = r.count[cell];
            if (count == 0) continue;
            auto* item = new QTableWidgetItem(counts ? QString::number(count) : MeanText(r.mean[cell]));
            item->setTextAlignment(Qt::AlignCenter);
            const QColor c = counts ? gradient.color(static_cast<double>(count),
                                                     QCPRange(0, static_cast<double>(maxCount)))
                                    : gradient.color(r.mean[cell], range);
            if (night) {
                // Dark enough not to dazzle; the figures a warm grey that reads
                // on every band of the gradient.
                item->setBackground(QColor(c.red() / 3, c.green() / 3, c.blue() / 3));
                item->setForeground(QColor(0xd8, 0x90, 0x60));
            } else {
                // Pale enough for black text to stay readable.
                item->setBackground(QColor((c.red() * 3 + 255 * 2) / 5, (c.green() * 3 + 255 * 2) / 5,
                                           (c.blue() * 3 + 255 * 2) / 5));
                item->setForeground(Qt::black);
            }
            item->setToolTip(QStringLiteral("%1 %2 – %3, %4 %5 – %6\nmean %7: %8\n%9 records")
                                 .arg(x, EdgeText(r.xEdges[static_cast<std::size_t>(xi)]),
                                      EdgeText(r.xEdges[static_cast<std::size_t>(xi) + 1]), y,
                                      EdgeText(r.yEdges[static_cast<std::size_t>(yi)]),
                                      EdgeText(r.yEdges[static_cast<std::size_t>(yi) + 1]), z,
                                      MeanText(r.mean[cell]))
                                 .arg(count));
            m_table->setItem(yi, xi, item);
        }

    // The colour map: one data point per cell, at the cell's centre.
    m_map->data()->setSize(std::max(cols, 1), std::max(rows, 1));
    if (cols > 0 && rows > 0) {
        const double xStep = r.xEdges[1] - r.xEdges[0], yStep = r.yEdges[1] - r.yEdges[0];
        m_map->data()->setRange(
            QCPRange(r.xEdges.front() + xStep / 2, r.xEdges[r.Cols() - 1] + xStep / 2),
            QCPRange(r.yEdges.front() + yStep / 2, r.yEdges[r.RowsOfCells() - 1] + yStep / 2));
        for (int yi = 0; yi < rows; ++yi)
            for (int xi = 0; xi < cols; ++xi) {
                const std::size_t cell = static_cast<std::size_t>(yi) * r.Cols() + static_cast<std::size_t>(xi);
                m_map->data()->setCell(xi, yi,
                                       r.count[cell] ? r.mean[cell]
                                                     : std::numeric_limits<double>::quiet_NaN());
            }
        m_map->setDataRange(range);
        m_plot->xAxis->setRange(r.xEdges.front(), r.xEdges.back());
        m_plot->yAxis->setRange(r.yEdges.front(), r.yEdges.back());
    } else {
        m_map->data()->fill(std::numeric_limits<double>::quiet_NaN());
    }
    auto unit = [&](int axis) {
        const int id = m_axis[static_cast<std::size_t>(axis)]->currentIndex();
        return m_logTable && id >= 0 && id < m_logTable->ChannelCount()
                   ? m_logTable->Channels()[static_cast<std::size_t>(id)].unit
                   : QString();
    };
    std::int64_t counted = 0;
    for (std::int64_t c : r.count) counted += c;
    m_caption->setText(QStringLiteral("<b>%1 of %2 (%3)</b> by %4 (%5) across and %6 (%7) down; "
                                      "%8 records counted. The count of a cell is in its tooltip.")
                           .arg(counts ? QStringLiteral("Records") : QStringLiteral("Mean"), z,
                                unit(2), x, unit(0), y, unit(1))
                           .arg(counted) +
                       (r.warmingUp ? QStringLiteral(" %1 records at the start, still warming up, "
                                                     "were left out.")
                                          .arg(r.warmingUp)
                                    : QString()) +
                       (r.damaged ? QStringLiteral(" %1 damaged records were left out.")
                                        .arg(r.damaged)
                                  : QString()) +
                       (r.filteredOut ? QStringLiteral(" %1 records where the \"Only where\" "
                                                       "formula does not hold were left out.")
                                            .arg(r.filteredOut)
                                      : QString()) +
                       (m_whereFailed ? QStringLiteral(" Nothing is mapped until the \"Only "
                                                       "where\" formula can be read.")
                                      : QString()) +
                       m_stepProblem);
    m_plot->xAxis->setLabel(x);
    m_plot->yAxis->setLabel(y);
    m_scale->axis()->setLabel(QStringLiteral("Mean %1").arg(z));
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

void HeatMapTab::Copy() {
    if (m_dirty) Recompute();
    QApplication::clipboard()->setText(HeatMapTsv(m_result, m_axis[0]->currentText(),
                                                  m_axis[1]->currentText(),
                                                  m_axis[2]->currentText()));
}

}  // namespace quarn
