// The Fuel tab's run: the analysis and the lag estimate on a worker, and
// the answer as a table, a chart and the texts for the tuning editor.

#include "viewer/FuelTab.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QFutureWatcher>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTableWidget>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>

#include <qcustomplot.h>

#include "fuel/FuelReport.h"
#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

QString Count(std::int64_t n) {
    return n ? QStringLiteral("−%1").arg(n) : QStringLiteral("none");
}

QString Percent(const MethodBin& m, double v) {
    return m.hits ? QString::asprintf("%+.2f", v * 100) : QString();
}

QString ConfidenceText(const FuelBin& b) {
    if (!b.used) return QStringLiteral("not used");
    return QString::fromLatin1(ConfidenceName(b.confidence));
}

}  // namespace

FuelTab::~FuelTab() {
    if (m_cancel) *m_cancel = true;
}

void FuelTab::SetTable(const LogTable* table) {
    m_log = table;
    if (m_cancel) *m_cancel = true;
    m_cancel.reset();
    m_hasResult = false;
    ShowResult(FuelResult{});
    m_status->clear();
}

std::optional<FuelJobInput> FuelTab::JobInput() {
    if (!m_log || m_log->Rows() == 0) {
        m_status->setText(QStringLiteral("Open a log first."));
        return std::nullopt;
    }
    std::size_t first = 0, last = m_log->Rows();
    if (m_records->currentIndex() == 1 && !(selectedRows && selectedRows(first, last))) {
        m_status->setText(QStringLiteral("Select a range first: Shift-drag across the plots."));
        return std::nullopt;
    }
    ExpressionError error;
    std::optional<FuelJobInput> in = FuelInputOf(*m_log, first, last, m_custom->text(), &error);
    m_customProblem->setText(ErrorText(error));
    m_customProblem->setVisible(error.Failed());
    return in;
}

bool FuelTab::Apply() {
    MafTransfer transfer;
    const bool tableOk = ReadTransfer(transfer);
    const FuelInputs inputs = Inputs();
    // Kept even when the run cannot start: a half-pasted table is still work.
    m_store.Save(m_carName, inputs);
    if (!tableOk) {
        m_status->setText(QStringLiteral("The transfer table was refused."));
        return false;
    }
    std::optional<FuelJobInput> input = JobInput();
    if (!input) return false;
    if (m_cancel) *m_cancel = true;
    m_cancel = std::make_shared<std::atomic<bool>>(false);
    auto job = std::make_shared<FuelJobInput>(std::move(*input));
    const FuelSetup setup = inputs.setup;
    auto* watcher = new QFutureWatcher<std::optional<FuelResult>>(this);
    ++m_running;
    m_apply->setEnabled(false);
    m_status->setText(QStringLiteral("Working…"));
    connect(watcher, &QFutureWatcher<std::optional<FuelResult>>::finished, this, [this, watcher] {
        watcher->deleteLater();
        --m_running;
        m_apply->setEnabled(m_running == 0);
        const std::optional<FuelResult> r = watcher->result();
        if (!r) return;  // a newer run or another log took its place
        m_result = *r;
        m_hasResult = true;
        ShowResult(m_result);
        m_status->setText(QStringLiteral("%1 records looked at.").arg(m_result.records));
        emit analysed();
    });
    watcher->setFuture(QtConcurrent::run(
        [job, transfer, setup, cancel = m_cancel]() -> std::optional<FuelResult> {
            EvaluateFuelCondition(*job);
            if (*cancel) return std::nullopt;
            FuelResult r = AnalyseFuel({job->log}, transfer, setup);
            if (*cancel) return std::nullopt;
            return r;
        }));
    return true;
}

bool FuelTab::EstimateLag() {
    const FuelSetup setup = Inputs().setup;
    std::optional<FuelJobInput> input = JobInput();
    if (!input) return false;
    auto job = std::make_shared<FuelJobInput>(std::move(*input));
    auto* watcher = new QFutureWatcher<LagEstimate>(this);
    ++m_running;
    connect(watcher, &QFutureWatcher<LagEstimate>::finished, this, [this, watcher] {
        watcher->deleteLater();
        --m_running;
        const LagEstimate e = watcher->result();
        if (e.ms) m_lag->setValue(*e.ms);
        m_lagNote->setText(e.ms ? QStringLiteral("Median of %1 tip-ins.").arg(e.tipIns)
                                : QStringLiteral("No tip-in of a warm engine found; kept."));
        m_lagNote->show();
        emit lagEstimated();
    });
    watcher->setFuture(QtConcurrent::run([job, setup] {
        return EstimateWidebandLag({job->log}, setup);
    }));
    return true;
}

void FuelTab::ShowRemoved(const FuelResult& r) {
    auto common = [&](std::size_t i) { return i < r.common.size() ? r.common[i].removed : 0; };
    // The analysis lists its filters in the order it applies them.
    const bool any = m_hasResult;
    auto show = [any](QLabel* label, std::int64_t n) { label->setText(any ? Count(n) : QString()); };
    show(m_removedWarmUp, common(0));
    m_removedWarmUp->setToolTip(QStringLiteral("Still warming up"));
    show(m_removedCustom, common(1));
    show(m_removedEct, common(2));
    show(m_removedDuty, common(3));
    show(m_removedThrottle, common(4));
    show(m_removedMafRate, common(5));
    show(m_removedAfr, r.openLoop.empty() ? 0 : r.openLoop.back().removed);
    m_removedAfr->setToolTip(QStringLiteral("From the open-loop (wideband) method only"));
}

void FuelTab::ShowResult(const FuelResult& r) {
    ShowRemoved(r);
    const QString unit = QString::fromLatin1(AirflowUnitName(r.unit));
    // The answer first, where a narrow window shows it; the hits behind it
    // after. Two-line headers keep the columns narrow.
    const QStringList headers{QStringLiteral("Volts"),        QStringLiteral("Airflow\n") + unit,
                              QStringLiteral("Suggested\n") + unit, QStringLiteral("Change\n%"),
                              QStringLiteral("Confidence"),   QStringLiteral("OL\nhits"),
                              QStringLiteral("OL\nmean %"),   QStringLiteral("OL\nmedian %"),
                              QStringLiteral("CL\nhits"),     QStringLiteral("CL\nmean %"),
                              QStringLiteral("CL\nmedian %")};
    m_answer->clear();
    m_answer->setColumnCount(static_cast<int>(headers.size()));
    m_answer->setHorizontalHeaderLabels(headers);
    m_answer->setRowCount(static_cast<int>(r.bins.size()));
    for (std::size_t i = 0; i < r.bins.size(); ++i) {
        const FuelBin& b = r.bins[i];
        const QStringList cells{
            QString::number(b.volts, 'f', 3), QString::number(b.airflow, 'g', 5),
            QString::number(b.suggested, 'g', 5),
            b.used ? QString::asprintf("%+.2f", b.correction * 100) : QString(), ConfidenceText(b),
            QString::number(b.openLoop.hits), Percent(b.openLoop, b.openLoop.mean),
            Percent(b.openLoop, b.openLoop.median), QString::number(b.closedLoop.hits),
            Percent(b.closedLoop, b.closedLoop.mean), Percent(b.closedLoop, b.closedLoop.median)};
        for (int c = 0; c < cells.size(); ++c) {
            auto* item = new QTableWidgetItem(cells[c]);
            item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            if (!b.used) item->setForeground(QColor(120, 120, 120));
            m_answer->setItem(static_cast<int>(i), c, item);
        }
    }
    m_answer->resizeColumnsToContents();
    QStringList notes;
    for (const std::string& n : r.notes) notes << QString::fromStdString(n);
    if (m_hasResult && notes.isEmpty())
        notes << QStringLiteral("%1 open-loop and %2 closed-loop hits.")
                     .arg(r.openLoopHits)
                     .arg(r.closedLoopHits);
    m_notes->setText(notes.join(QLatin1Char('\n')));
    m_copy->setEnabled(m_hasResult && r.AnyUsed());
    m_save->setEnabled(m_hasResult);
    DrawPlot(r);
}

void FuelTab::DrawPlot(const FuelResult& r) {
    m_plot->clearPlottables();
    m_plot->clearItems();
    m_hitLabels.clear();
    const QString unit = QString::fromLatin1(AirflowUnitName(r.unit));
    m_plot->xAxis->setLabel(QStringLiteral("MAF (V)"));
    m_plot->yAxis->setLabel(QStringLiteral("Airflow (%1)").arg(unit));
    m_plot->yAxis2->setLabel(QStringLiteral("Change (%)"));
    m_plot->yAxis2->setVisible(true);
    m_plot->legend->setVisible(!r.bins.empty());
    m_plot->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignTop | Qt::AlignLeft);
    if (r.bins.empty()) {
        Replot();
        return;
    }
    QVector<double> volts, current, suggested, changeKeys, change;
    double top = 1;
    for (const FuelBin& b : r.bins) {
        volts << b.volts;
        current << b.airflow;
        suggested << b.suggested;
        if (b.used) {
            changeKeys << b.volts;
            change << b.correction * 100;
            top = std::max(top, std::fabs(b.correction * 100));
        }
    }
    // Bars first, so the curves are drawn over them.
    auto* bars = new QCPBars(m_plot->xAxis, m_plot->yAxis2);
    bars->setName(QStringLiteral("Change per row (hits beside)"));
    bars->setPen(QPen(QColor(200, 120, 20)));
    bars->setBrush(QColor(230, 150, 40, 110));
    double width = 0.1;
    for (int i = 1; i < volts.size(); ++i) width = std::min(width, (volts[i] - volts[i - 1]) * 0.7);
    bars->setWidth(width);
    bars->setData(changeKeys, change, true);
    auto* now = m_plot->addGraph();
    now->setName(QStringLiteral("Current"));
    now->setPen(QPen(QColor(110, 110, 110), 2, Qt::DashLine));
    now->setData(volts, current, true);
    auto* next = m_plot->addGraph();
    next->setName(QStringLiteral("Suggested"));
    next->setPen(QPen(QColor(25, 90, 190), 2));
    next->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssCircle, 4));
    next->setData(volts, suggested, true);
    for (const FuelBin& b : r.bins) {
        if (!b.used) continue;
        auto* hits = new QCPItemText(m_plot);
        hits->position->setAxes(m_plot->xAxis, m_plot->yAxis2);
        const double c = b.correction * 100;
        hits->position->setCoords(b.volts, c);
        // Upright, the counts of neighbouring rows would run into each other.
        hits->setRotation(-90);
        hits->setPositionAlignment(Qt::AlignVCenter | (c >= 0 ? Qt::AlignLeft : Qt::AlignRight));
        hits->setPadding(QMargins(3, 0, 3, 0));
        hits->setText(QString::number(b.openLoop.hits + b.closedLoop.hits));
        QFont font = hits->font();
        font.setPointSizeF(font.pointSizeF() * 0.75);
        hits->setFont(font);
        hits->setColor(QColor(150, 80, 10));
        m_hitLabels.emplace_back(hits, b.openLoop.hits + b.closedLoop.hits);
    }
    m_plot->xAxis->setRange(volts.front() - width, volts.back() + width);
    m_plot->yAxis->setRange(0, std::max(current.back(), suggested.back()) * 1.05);
    // The bars use the bottom of the chart, where the curve is low, and
    // keep room for their counts.
    m_plot->yAxis2->setRange(-top * 1.6, top * 4);
    Replot();
    // The rows below the sensor's idle reading never get hits: show the
    // first that did. The table lays its new rows out first, else there is
    // nothing yet to scroll.
    m_answer->doItemsLayout();
    for (std::size_t i = 0; i < r.bins.size(); ++i)
        if (r.bins[i].used) {
            m_answer->scrollToItem(m_answer->item(static_cast<int>(i), 0), QAbstractItemView::PositionAtTop);
            break;
        }
}

void FuelTab::ThinHitLabels() {
    if (m_hitLabels.empty()) return;
    // The busiest rows keep their counts; a count closer than a line's
    // height to one already kept is hidden (the table beside gives every
    // row's hits).
    std::vector<std::size_t> order(m_hitLabels.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return m_hitLabels[a].second > m_hitLabels[b].second;
    });
    const double room = QFontMetricsF(m_hitLabels.front().first->font()).height() + 1;
    std::vector<double> kept;
    for (const std::size_t i : order) {
        QCPItemText* label = m_hitLabels[i].first;
        const double x = m_plot->xAxis->coordToPixel(label->position->key());
        const bool clear = std::none_of(kept.begin(), kept.end(),
                                        [&](double k) { return std::fabs(k - x) < room; });
        label->setVisible(clear);
        if (clear) kept.push_back(x);
    }
}

void FuelTab::Replot() {
    // A hidden chart has no size to draw into; it draws when it is shown.
    if (m_plot->isVisible()) m_plot->replot();
}

QString FuelTab::SuggestedText() const {
    return m_hasResult ? QString::fromStdString(SuggestedTransferText(m_result)) : QString();
}

void FuelTab::Copy() {
    if (!m_hasResult) return;
    QApplication::clipboard()->setText(SuggestedText());
    m_status->setText(QStringLiteral("The suggested transfer is on the clipboard (volts, %1).")
                          .arg(QString::fromLatin1(AirflowUnitName(m_result.unit))));
}

bool FuelTab::SaveTo(const QString& path, QString* error) const {
    QFile file(path);
    const QByteArray csv = QByteArray::fromStdString(FuelCsv(m_result));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(csv) != csv.size() ||
        !file.flush()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

void FuelTab::Save() {
    if (!m_hasResult) return;
    QString suggested = QStringLiteral("fuel.csv");
    if (m_log) {
        const QFileInfo info(m_log->Path());
        suggested = info.dir().filePath(info.completeBaseName() + QStringLiteral("-fuel.csv"));
    }
    QPointer<FuelTab> guard(this);
    OpenSaveDialog(this, QStringLiteral("Save the fuel table"), suggested,
                   QStringLiteral("CSV (*.csv)"), [guard](const QString& path) {
                       if (!guard) return;
                       QString error;
                       if (guard->SaveTo(path, &error))
                           guard->m_status->setText(QStringLiteral("Saved in \"%1\".").arg(path));
                       else
                           OpenMessage(guard, QMessageBox::Warning, QStringLiteral("Fuel"),
                                       QStringLiteral("The table could not be saved.\n%1").arg(error));
                   });
}

}  // namespace quarn
