#include "viewer/StatisticsPanel.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

#include "viewer/LogColumns.h"

namespace quarn {
namespace {

enum Column { kChannel, kMin, kMax, kMean, kTimeMean, kStdDev, kSeconds, kLow, kHigh, kInBand, kColumns };

QString Number(double v) {
    if (!std::isfinite(v)) return QStringLiteral("–");
    const double a = std::abs(v);
    return QString::number(v, 'f', a >= 1000 ? 0 : a >= 100 ? 1 : a >= 10 ? 2 : 3);
}

}  // namespace

StatisticsPanel::StatisticsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("StatisticsPanel"));
    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    m_caption = new QLabel(this);
    m_caption->setObjectName(QStringLiteral("StatisticsCaption"));
    auto* copy = new QPushButton(QStringLiteral("Copy"), this);
    copy->setObjectName(QStringLiteral("StatisticsCopy"));
    copy->setToolTip(QStringLiteral("Copy the table as tab-separated text for a spreadsheet"));
    top->addWidget(m_caption, 1);
    top->addWidget(copy);
    layout->addLayout(top);
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName(QStringLiteral("StatisticsTable"));
    m_table->setHorizontalHeaderLabels(
        {QStringLiteral("Channel"), QStringLiteral("Min"), QStringLiteral("Max"),
         QStringLiteral("Mean"), QStringLiteral("Time mean"), QStringLiteral("Std dev"),
         QStringLiteral("Seconds"), QStringLiteral("Band low"), QStringLiteral("Band high"),
         QStringLiteral("In band (s)")});
    m_table->verticalHeader()->hide();
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->setToolTip(QStringLiteral("Type a band's low and high ends to count the time "
                                       "within it"));
    layout->addWidget(m_table, 1);
    connect(copy, &QPushButton::clicked, this, &StatisticsPanel::Copy);
    connect(m_table, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
        if (!m_filling && (item->column() == kLow || item->column() == kHigh)) Recompute();
    });
}

void StatisticsPanel::SetTable(const LogTable* table) {
    m_log = table;
    m_first = m_last = 0;
    Recompute();
}

void StatisticsPanel::SetRows(std::size_t first, std::size_t last, const QString& what) {
    if (first == m_first && last == m_last && what == m_what) return;
    m_first = first;
    m_last = last;
    m_what = what;
    Recompute();
}

std::vector<Band> StatisticsPanel::Bands() const {
    std::vector<Band> bands(static_cast<std::size_t>(m_table->rowCount()));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        bool okLow = false, okHigh = false;
        const QTableWidgetItem* low = m_table->item(r, kLow);
        const QTableWidgetItem* high = m_table->item(r, kHigh);
        const double lo = low ? low->text().toDouble(&okLow) : 0;
        const double hi = high ? high->text().toDouble(&okHigh) : 0;
        Band& b = bands[static_cast<std::size_t>(r)];
        if (okLow) b.low = lo;
        if (okHigh) b.high = hi;
        b.set = okLow || okHigh;
    }
    return bands;
}

void StatisticsPanel::Recompute() {
    m_stats.clear();
    std::vector<Band> bands = Bands();
    if (m_log && m_log->Rows() > 0 && m_last > m_first) {
        const LogColumns columns(*m_log);
        bands.resize(columns.Set().names.size());
        m_stats = Statistics(columns.Set(), RowRange{m_first, m_last}, bands);
    }
    m_filling = true;
    m_table->setRowCount(static_cast<int>(m_stats.size()));
    for (std::size_t i = 0; i < m_stats.size(); ++i) {
        const ChannelStatistics& s = m_stats[i];
        const int row = static_cast<int>(i);
        auto set = [&](int column, const QString& text, bool editable = false) {
            QTableWidgetItem* item = m_table->item(row, column);
            if (!item) {
                item = new QTableWidgetItem;
                item->setTextAlignment(column == kChannel ? Qt::AlignLeft | Qt::AlignVCenter
                                                          : Qt::AlignRight | Qt::AlignVCenter);
                if (!editable) item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
                m_table->setItem(row, column, item);
            }
            if (!editable && item->text() != text) item->setText(text);
        };
        const bool any = s.count > 0;
        set(kChannel, s.unit.isEmpty() ? s.name : QStringLiteral("%1 (%2)").arg(s.name, s.unit));
        set(kMin, any ? Number(s.min) : QString());
        set(kMax, any ? Number(s.max) : QString());
        set(kMean, any ? Number(s.mean) : QString());
        set(kTimeMean, any ? Number(s.timeMean) : QString());
        set(kStdDev, any ? Number(s.stdDev) : QString());
        set(kSeconds, Number(s.seconds));
        set(kLow, {}, true);
        set(kHigh, {}, true);
        set(kInBand, i < bands.size() && bands[i].set ? Number(s.bandSeconds) : QString());
    }
    m_filling = false;
    m_caption->setText(m_stats.empty() ? QStringLiteral("No records to count.")
                                       : QStringLiteral("Over %1: %2 records.")
                                             .arg(m_what)
                                             .arg(m_last - m_first));
}

void StatisticsPanel::Copy() {
    QApplication::clipboard()->setText(StatisticsText(m_stats, Bands()));
}

}  // namespace quarn
