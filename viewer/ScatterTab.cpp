#include "viewer/ScatterTab.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include <cmath>
#include <limits>

#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"

namespace quarn {
namespace {

// The grid is kept near one cell per pixel, but never so fine that a
// sparse range shows as dust.
constexpr int kMaxCells = 600;

}  // namespace

ScatterTab::ScatterTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ScatterTab"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    const char* names[3] = {"X", "Y", "Colour"};
    for (int a = 0; a < 3; ++a) {
        m_axis[a] = new QComboBox(this);
        m_axis[a]->setObjectName(QStringLiteral("ScatterAxis%1").arg(a));
        row->addWidget(new QLabel(QString::fromLatin1(names[a]), this));
        row->addWidget(m_axis[a]);
        connect(m_axis[a], &QComboBox::currentIndexChanged, this, [this] { Schedule(); });
    }
    m_where = new QLineEdit(this);
    m_where->setObjectName(QStringLiteral("ScatterWhere"));
    m_where->setPlaceholderText(QStringLiteral("only where… e.g. ECT > 180"));
    row->addWidget(new QLabel(QStringLiteral("Only where"), this));
    row->addWidget(m_where, 1);
    layout->addLayout(row);
    connect(m_where, &QLineEdit::editingFinished, this, &ScatterTab::WhereChanged);

    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("ScatterCaption"));
    layout->addWidget(m_caption);
    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("ScatterPlot"));
    m_map = new QCPColorMap(m_plot->xAxis, m_plot->yAxis);
    m_map->setInterpolate(false);
    m_map->setTightBoundary(true);
    m_scale = new QCPColorScale(m_plot);
    m_plot->plotLayout()->addElement(0, 1, m_scale);
    m_map->setColorScale(m_scale);
    auto* group = new QCPMarginGroup(m_plot);
    m_plot->axisRect()->setMarginGroup(QCP::msBottom | QCP::msTop, group);
    m_scale->setMarginGroup(QCP::msBottom | QCP::msTop, group);
    m_plot->installEventFilter(this);
    m_plot->setToolTip(QStringLiteral("Click a point to put the cursor on its record"));
    layout->addWidget(m_plot, 1);

    m_timer.setSingleShot(true);
    m_timer.setInterval(30);
    connect(&m_timer, &QTimer::timeout, this, &ScatterTab::Redraw);
    ChannelsChanged();
    SetChannels(ViewerChannelId(QStringLiteral("RPM")), ViewerChannelId(QStringLiteral("MAF")), -1);
}

void ScatterTab::SetTable(const LogTable* table) {
    m_table = table;
    m_first = 0;
    m_last = table ? table->Rows() : 0;
    m_whereDirty = true;
    ChannelsChanged();
    Schedule();
}

void ScatterTab::ChannelsChanged() {
    const auto& channels = m_table ? m_table->Channels() : ViewerChannels();
    for (int a = 0; a < 3; ++a) {
        QComboBox* box = m_axis[a];
        const QSignalBlocker block(box);
        const QString current = box->currentText();
        box->clear();
        if (a == 2) box->addItem(QStringLiteral("(density)"), -1);
        for (std::size_t i = 0; i < channels.size(); ++i)
            box->addItem(channels[i].name, static_cast<int>(i));
        box->setCurrentIndex(std::max(box->findText(current), 0));
    }
    // A formula may name a math channel that came or went.
    m_whereDirty = true;
    Schedule();
}

void ScatterTab::SetRows(std::size_t first, std::size_t last) {
    if (first == m_first && last == m_last) return;
    m_first = first;
    m_last = last;
    Schedule();
}

void ScatterTab::SetChannels(int x, int y, int z) {
    const int ids[3] = {x, y, z};
    for (int a = 0; a < 3; ++a) {
        const int at = m_axis[a]->findData(ids[a]);
        if (at >= 0) m_axis[a]->setCurrentIndex(at);
    }
}

void ScatterTab::SetWhere(const QString& formula) {
    m_where->setText(formula);
    WhereChanged();
}

void ScatterTab::WhereChanged() {
    m_whereDirty = true;
    Schedule();
}

void ScatterTab::Schedule() {
    m_dirty = true;
    if (isVisible()) m_timer.start();
}

void ScatterTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_dirty) m_timer.start();
}

void ScatterTab::Redraw() {
    m_dirty = false;
    if (m_whereDirty) {
        ExpressionError error;
        m_condition = m_table ? EvaluateCondition(*m_table, m_where->text(), &error)
                              : std::vector<float>();
        m_whereError = ErrorText(error);
        m_whereDirty = false;
    }
    const int x = m_axis[0]->currentData().toInt(), y = m_axis[1]->currentData().toInt();
    const int z = m_axis[2]->currentData().toInt();
    const bool ok = m_table && m_table->Rows() > 0 && x >= 0 && y >= 0 &&
                    x < m_table->ChannelCount() && y < m_table->ChannelCount() &&
                    z < m_table->ChannelCount() && m_whereError.isEmpty();
    m_grid = ScatterGrid();
    if (ok) {
        const std::span<const float> xs = m_table->Column(x), ys = m_table->Column(y);
        const std::span<const float> zs =
            z >= 0 ? std::span<const float>(m_table->Column(z)) : std::span<const float>();
        const std::size_t first = std::min(m_first, m_table->Rows());
        const std::size_t last = std::min(m_last, m_table->Rows());
        double xLo = 0, xHi = 1, yLo = 0, yHi = 1;
        ScatterExtent(xs, m_condition, first, last, xLo, xHi);
        ScatterExtent(ys, m_condition, first, last, yLo, yHi);
        const QRect area = m_plot->axisRect()->rect();
        const int cols = std::clamp(area.width(), 16, kMaxCells);
        const int rows = std::clamp(area.height(), 16, kMaxCells);
        m_grid = BinScatter(xs, ys, zs, m_condition, first, last, xLo, xHi, yLo, yHi, cols, rows);
    }
    // Density on a logarithmic scale: a few passes through a cell still show
    // beside the thousands of records of a steady cruise.
    const bool density = m_grid.zSum.empty();
    QCPColorMapData* data = m_map->data();
    data->setSize(m_grid.cols, m_grid.rows);
    data->setRange(QCPRange(m_grid.xLo, m_grid.xHi), QCPRange(m_grid.yLo, m_grid.yHi));
    double lo = std::numeric_limits<double>::infinity(), hi = -lo;
    for (int cy = 0; cy < m_grid.rows; ++cy)
        for (int cx = 0; cx < m_grid.cols; ++cx) {
            const std::size_t c = m_grid.Cell(cx, cy);
            double v = std::numeric_limits<double>::quiet_NaN();
            if (m_grid.count[c]) {
                v = density ? std::log10(static_cast<double>(m_grid.count[c]))
                            : m_grid.zSum[c] / m_grid.count[c];
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            data->setCell(cx, cy, v);
        }
    if (!(hi > lo)) hi = lo + 1;
    m_map->setGradient(density ? QCPColorGradient::gpThermal : QCPColorGradient::gpJet);
    m_map->setDataRange(QCPRange(std::isfinite(lo) ? lo : 0, std::isfinite(lo) ? hi : 1));
    m_scale->axis()->setLabel(density ? QStringLiteral("log₁₀ records") : m_axis[2]->currentText());
    m_plot->xAxis->setLabel(m_axis[0]->currentText());
    m_plot->yAxis->setLabel(m_axis[1]->currentText());
    m_plot->xAxis->setRange(m_grid.xLo, m_grid.xHi);
    m_plot->yAxis->setRange(m_grid.yLo, m_grid.yHi);
    m_caption->setText(!m_whereError.isEmpty()
                           ? QStringLiteral("<span style='color:#b01414'>Only where: %1</span>")
                                 .arg(m_whereError.toHtmlEscaped())
                           : QStringLiteral("%1 records plotted of %2 in range.")
                                 .arg(m_grid.points)
                                 .arg(m_last > m_first ? m_last - m_first : 0));
    m_plot->replot(QCustomPlot::rpImmediateRefresh);
}

long long ScatterTab::RowAt(QPoint pos) const {
    const double x = m_plot->xAxis->pixelToCoord(pos.x());
    const double y = m_plot->yAxis->pixelToCoord(pos.y());
    int cx = 0, cy = 0;
    if (!m_grid.CellOf(x, y, cx, cy)) return -1;
    // A pixel's width around the click: a thin line of points is hard to hit.
    for (int r = 0; r <= 2; ++r)
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx) {
                const int ix = cx + dx, iy = cy + dy;
                if (ix < 0 || iy < 0 || ix >= m_grid.cols || iy >= m_grid.rows) continue;
                const std::size_t c = m_grid.Cell(ix, iy);
                if (m_grid.count[c]) return m_grid.row[c];
            }
    return -1;
}

bool ScatterTab::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_plot && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) {
            const long long row = RowAt(mouse->position().toPoint());
            if (row >= 0) emit rowClicked(static_cast<std::size_t>(row));
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace quarn
