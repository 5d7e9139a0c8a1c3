#include "viewer/HistogramTab.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

#include <qcustomplot.h>

#include "viewer/LogTable.h"

namespace quarn {

HistogramTab::HistogramTab(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("HistogramTab"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    m_channel = new QComboBox(this);
    m_channel->setObjectName(QStringLiteral("HistogramChannel"));
    m_bins = new QSpinBox(this);
    m_bins->setObjectName(QStringLiteral("HistogramBins"));
    m_bins->setRange(2, 200);
    m_bins->setValue(24);
    m_bins->setSuffix(QStringLiteral(" bins"));
    row->addWidget(new QLabel(QStringLiteral("Channel"), this));
    row->addWidget(m_channel);
    row->addWidget(m_bins);
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("HistogramCaption"));
    row->addWidget(m_caption, 1);
    layout->addLayout(row);
    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("HistogramPlot"));
    m_bars = new QCPBars(m_plot->xAxis, m_plot->yAxis);
    m_bars->setPen(QPen(QColor(25, 90, 190)));
    m_bars->setBrush(QColor(25, 90, 190, 120));
    m_plot->yAxis->setLabel(QStringLiteral("Seconds"));
    layout->addWidget(m_plot, 1);
    connect(m_channel, &QComboBox::currentIndexChanged, this, [this] { Schedule(); });
    connect(m_bins, &QSpinBox::valueChanged, this, [this] { Schedule(); });
    m_timer.setSingleShot(true);
    m_timer.setInterval(30);
    connect(&m_timer, &QTimer::timeout, this, &HistogramTab::Redraw);
    ChannelsChanged();
    SetChannel(ViewerChannelId(QStringLiteral("RPM")));
}

void HistogramTab::SetTable(const LogTable* table) {
    m_table = table;
    m_first = 0;
    m_last = table ? table->Rows() : 0;
    ChannelsChanged();
    Schedule();
}

void HistogramTab::ChannelsChanged() {
    const QSignalBlocker block(m_channel);
    const QString current = m_channel->currentText();
    m_channel->clear();
    for (const ViewerChannel& c : m_table ? m_table->Channels() : ViewerChannels())
        m_channel->addItem(c.name);
    m_channel->setCurrentIndex(std::max(m_channel->findText(current), 0));
    Schedule();
}

void HistogramTab::SetRows(std::size_t first, std::size_t last) {
    if (first == m_first && last == m_last) return;
    m_first = first;
    m_last = last;
    Schedule();
}

void HistogramTab::SetChannel(int id) {
    if (id >= 0 && id < m_channel->count()) m_channel->setCurrentIndex(id);
}

void HistogramTab::Schedule() {
    m_dirty = true;
    if (isVisible()) m_timer.start();
}

void HistogramTab::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_dirty) m_timer.start();
}

void HistogramTab::Redraw() {
    m_dirty = false;
    m_result = TimeHistogram();
    const int id = m_channel->currentIndex();
    QVector<double> keys, values;
    if (m_table && id >= 0 && id < m_table->ChannelCount() && m_last > m_first) {
        std::vector<double> seconds(m_table->Rows());
        for (std::size_t r = 0; r < seconds.size(); ++r) seconds[r] = m_table->SecondsAt(r);
        const std::span<const float> column = m_table->Column(id);
        const RowRange range{m_first, m_last};
        m_result = Histogram(column, seconds, range, AutoBins(column, range, m_bins->value()));
        for (int b = 0; b < m_result.bins.count; ++b) {
            keys << m_result.bins.low + (b + 0.5) * m_result.bins.Width();
            values << m_result.seconds[static_cast<std::size_t>(b)];
        }
    }
    m_bars->setWidth(m_result.bins.Width());
    m_bars->setData(keys, values, true);
    const ViewerChannel* c = m_table && id >= 0 && id < m_table->ChannelCount()
                                 ? &m_table->Channels()[static_cast<std::size_t>(id)]
                                 : nullptr;
    m_plot->xAxis->setLabel(c ? QStringLiteral("%1 (%2)").arg(c->name, c->unit) : QString());
    m_plot->rescaleAxes();
    m_plot->yAxis->setRangeLower(0);
    double total = 0;
    for (double s : m_result.seconds) total += s;
    m_caption->setText(QStringLiteral("%1 s counted").arg(total, 0, 'f', 1));
    m_plot->replot(QCustomPlot::rpQueuedReplot);
}

}  // namespace quarn
