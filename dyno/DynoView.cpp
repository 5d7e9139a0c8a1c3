#include "dyno/DynoView.h"

#include <qcustomplot.h>

#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <array>

#include "dyno/DynoCsv.h"
#include "dyno/PeakLabels.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

// A pull's colour in the chart, by its place among the pulls picked.
const std::array<QColor, 6> kColours{QColor(0xc0, 0x20, 0x20), QColor(0x20, 0x50, 0xc0),
                                     QColor(0x10, 0x90, 0x30), QColor(0xd0, 0x80, 0x00),
                                     QColor(0x80, 0x30, 0xa0), QColor(0x20, 0x90, 0x90)};

enum Column { kNumber, kRpm, kDuration, kSpeed, kNote, kColumns };

struct ThresholdBox {
    const char* label;
    const char* suffix;
    double min, max, step;
    int decimals;
    double PullThresholds::*field;
};

const std::array<ThresholdBox, 4> kThresholdBoxes{{
    {"Throttle at least", " V", 0.5, 5, 0.05, 2, &PullThresholds::minTpsVolts},
    {"Lasting at least", " s", 0.5, 30, 0.5, 1, &PullThresholds::minSeconds},
    {"RPM rising at least", " rpm", 0, 6000, 100, 0, &PullThresholds::minRpmRise},
    {"Ends at an RPM fall of", " rpm", 10, 3000, 50, 0, &PullThresholds::rpmFallTolerance},
}};

QString Number(double v, int decimals) {
    return QString::number(v, 'f', decimals);
}

}  // namespace

DynoView::DynoView(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("DynoView"));
    BuildControls();
    FindPullsAgain();
}

void DynoView::BuildControls() {
    auto* controls = new QVBoxLayout;

    auto* thresholds = new QGroupBox(QStringLiteral("What is a pull"), this);
    auto* form = new QFormLayout(thresholds);
    const PullThresholds defaults;
    for (const ThresholdBox& t : kThresholdBoxes) {
        auto* box = new QDoubleSpinBox(thresholds);
        box->setRange(t.min, t.max);
        box->setSingleStep(t.step);
        box->setDecimals(t.decimals);
        box->setSuffix(QString::fromLatin1(t.suffix));
        box->setValue(defaults.*t.field);
        box->setKeyboardTracking(false);  // a half-typed number finds no pulls
        connect(box, &QDoubleSpinBox::valueChanged, this, &DynoView::FindPullsAgain);
        form->addRow(QString::fromLatin1(t.label), box);
        m_thresholdBoxes.push_back(box);
    }
    m_smoothing = new QDoubleSpinBox(thresholds);
    m_smoothing->setObjectName(QStringLiteral("smoothing"));
    m_smoothing->setRange(0, 3000);
    m_smoothing->setSingleStep(100);
    m_smoothing->setDecimals(0);
    m_smoothing->setSuffix(QStringLiteral(" rpm"));
    m_smoothing->setValue(DynoOptions{}.smoothRpm);
    m_smoothing->setKeyboardTracking(false);
    m_smoothing->setToolTip(
        QStringLiteral("Width of the smoothing window: a centred quadratic fit, which keeps "
                       "peaks in place; 0 shows the 50 rpm bins as measured"));
    connect(m_smoothing, &QDoubleSpinBox::valueChanged, this, &DynoView::ComputeCurves);
    form->addRow(QStringLiteral("Smoothing"), m_smoothing);
    controls->addWidget(thresholds);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("pullList"));
    m_list->setRootIsDecorated(false);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setHeaderLabels({QStringLiteral("Pull"), QStringLiteral("RPM"),
                             QStringLiteral("Time"), QStringLiteral("Speed (mph)"),
                             QStringLiteral("Note")});
    m_list->header()->setStretchLastSection(true);
    m_list->setToolTip(QStringLiteral("Pick one pull, or several with Ctrl or Shift, to overlay"));
    connect(m_list, &QTreeWidget::itemSelectionChanged, this, &DynoView::ComputeCurves);
    controls->addWidget(m_list, 1);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    controls->addWidget(m_status);

    m_humidity = new QDoubleSpinBox(this);
    m_humidity->setObjectName(QStringLiteral("humidity"));
    m_humidity->setRange(0, 100);
    m_humidity->setSingleStep(5);
    m_humidity->setDecimals(0);
    m_humidity->setSuffix(QStringLiteral(" %"));
    m_humidity->setKeyboardTracking(false);
    m_humidity->setToolTip(
        QStringLiteral("Relative humidity of the air during the pulls: the box does not measure "
                       "it. SAE J1349 corrects by the pressure of the dry air; 0 takes the air as "
                       "dry"));
    connect(m_humidity, &QDoubleSpinBox::valueChanged, this, &DynoView::ComputeCurves);
    auto* humidity = new QFormLayout;
    humidity->addRow(QStringLiteral("Relative humidity"), m_humidity);
    controls->addLayout(humidity);

    auto* correction = new QHBoxLayout;
    m_uncorrected = new QRadioButton(QStringLiteral("Uncorrected"), this);
    m_corrected = new QRadioButton(QStringLiteral("SAE corrected"), this);
    m_corrected->setToolTip(
        QStringLiteral("Corrected to standard air (99 kPa dry air, 25 \u00b0C) by SAE J1349"));
    m_uncorrected->setChecked(true);
    connect(m_corrected, &QRadioButton::toggled, this, &DynoView::Redraw);
    correction->addWidget(m_uncorrected);
    correction->addWidget(m_corrected);
    correction->addStretch();
    controls->addLayout(correction);
    m_factor = new QLabel(this);
    m_factor->setObjectName(QStringLiteral("factor"));
    m_factor->setWordWrap(true);
    controls->addWidget(m_factor);

    auto* buttons = new QHBoxLayout;
    m_saveSheet = new QPushButton(QStringLiteral("Save dyno sheet"), this);
    m_export = new QPushButton(QStringLiteral("Export curve"), this);
    m_export->setToolTip(QStringLiteral("The curve of the first pull picked, as CSV"));
    connect(m_saveSheet, &QPushButton::clicked, this, &DynoView::SaveSheet_Click);
    connect(m_export, &QPushButton::clicked, this, &DynoView::ExportCurve_Click);
    buttons->addWidget(m_saveSheet);
    buttons->addWidget(m_export);
    controls->addLayout(buttons);

    m_chart = new QCustomPlot(this);
    m_chart->setObjectName(QStringLiteral("dynoChart"));
    m_chart->setMinimumSize(480, 360);
    m_chart->xAxis->setLabel(QStringLiteral("Engine speed (rpm)"));
    m_chart->yAxis->setLabel(QStringLiteral("Power (hp), solid"));
    m_chart->yAxis2->setLabel(QStringLiteral("Torque (lb-ft), dashed"));
    m_chart->yAxis2->setVisible(true);
    m_chart->legend->setVisible(true);
    m_chart->axisRect()->insetLayout()->setInsetAlignment(0, Qt::AlignBottom | Qt::AlignRight);

    auto* layout = new QHBoxLayout(this);
    auto* left = new QWidget(this);
    left->setLayout(controls);
    left->setMaximumWidth(430);
    layout->addWidget(left);
    layout->addWidget(m_chart, 1);
}

void DynoView::SetInput(DynoInput input, const QString& logName, const QDateTime& start) {
    m_input = std::move(input);
    m_logName = logName;
    m_start = start;
    FindPullsAgain();
}

void DynoView::SetVehicle(const DynoVehicle& vehicle, const QString& carName,
                          const QString& description) {
    m_vehicle = vehicle;
    m_carName = carName;
    m_carDescription = description;
    ComputeCurves();
}

PullThresholds DynoView::Thresholds() const {
    PullThresholds t;
    for (std::size_t i = 0; i < kThresholdBoxes.size(); ++i)
        t.*kThresholdBoxes[i].field = m_thresholdBoxes[i]->value();
    return t;
}

void DynoView::SetThresholds(const PullThresholds& thresholds) {
    for (std::size_t i = 0; i < kThresholdBoxes.size(); ++i) {
        const QSignalBlocker quiet(m_thresholdBoxes[i]);
        m_thresholdBoxes[i]->setValue(thresholds.*kThresholdBoxes[i].field);
    }
    FindPullsAgain();
}

void DynoView::FindPullsAgain() {
    m_scan = FindPulls(m_input, Thresholds());
    FillList();
}

void DynoView::FillList() {
    const QSignalBlocker quiet(m_list);
    m_list->clear();
    QTreeWidgetItem* firstUsable = nullptr;
    for (const Pull& p : m_scan.pulls) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setData(kNumber, Qt::UserRole, p.number);
        item->setText(kNumber, QString::number(p.number));
        item->setText(kRpm, QStringLiteral("%1\u2013%2").arg(Number(p.startRpm, 0),
                                                              Number(p.endRpm, 0)));
        item->setText(kDuration, QStringLiteral("%1 s").arg(Number(p.seconds, 1)));
        item->setText(kSpeed, QStringLiteral("%1\u2013%2").arg(Number(p.minMph, 0),
                                                                Number(p.maxMph, 0)));
        const QString note = QString::fromStdString(p.note);
        item->setText(kNote, note);
        item->setToolTip(kNote, QStringLiteral("Records %1 to %2. %3")
                                    .arg(Number(p.firstRecord, 0), Number(p.lastRecord, 0), note));
        if (!p.usable) {
            // Listed for its reason, never drawn.
            item->setFlags(item->flags() & ~Qt::ItemIsSelectable);
            for (int c = 0; c < kColumns; ++c) item->setForeground(c, QColor(0x90, 0x90, 0x90));
        } else if (!firstUsable) {
            firstUsable = item;
        }
    }
    for (int c = 0; c < kNote; ++c) m_list->resizeColumnToContents(c);
    if (firstUsable) firstUsable->setSelected(true);
    ComputeCurves();
}

std::vector<int> DynoView::PickedPulls() const {
    std::vector<int> numbers;
    for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* item = m_list->topLevelItem(i);
        if (item->isSelected()) numbers.push_back(item->data(kNumber, Qt::UserRole).toInt());
    }
    return numbers;
}

void DynoView::PickPulls(const std::vector<int>& numbers) {
    {
        const QSignalBlocker quiet(m_list);
        for (int i = 0; i < m_list->topLevelItemCount(); ++i) {
            QTreeWidgetItem* item = m_list->topLevelItem(i);
            const int n = item->data(kNumber, Qt::UserRole).toInt();
            const bool pick = std::find(numbers.begin(), numbers.end(), n) != numbers.end();
            item->setSelected(pick && (item->flags() & Qt::ItemIsSelectable));
        }
    }
    ComputeCurves();
}

const DynoCurve* DynoView::CurveOf(int number) const {
    const auto it = m_curves.find(number);
    return it == m_curves.end() ? nullptr : &it->second;
}

bool DynoView::Corrected() const {
    return m_corrected->isChecked();
}

void DynoView::SetCorrected(bool corrected) {
    (corrected ? m_corrected : m_uncorrected)->setChecked(true);
}

void DynoView::ComputeCurves() {
    m_curves.clear();
    DynoOptions options;
    options.smoothRpm = m_smoothing->value();
    options.humidityPercent = m_humidity->value();
    for (const int n : PickedPulls())
        m_curves[n] = ComputeCurve(m_input, m_scan.pulls.at(static_cast<std::size_t>(n - 1)),
                                   m_vehicle, options);
    Redraw();
}

QString DynoView::PullName(int number) const {
    QString name = m_logName.isEmpty() ? QStringLiteral("Pull %1").arg(number)
                                       : QStringLiteral("%1, pull %2").arg(m_logName).arg(number);
    if (m_start.isValid())
        name += QStringLiteral(", %1").arg(m_start.toLocalTime().toString(
            QStringLiteral("yyyy-MM-dd HH:mm")));
    return name;
}

void DynoView::Redraw() {
    m_chart->clearGraphs();
    m_chart->clearItems();
    m_marks.clear();
    m_curveTop[0] = m_curveTop[1] = 0;
    const bool corrected = Corrected();
    QStringList problems, factors;
    if (!m_scan.problem.empty()) problems << QString::fromStdString(m_scan.problem);
    int place = 0;
    for (const auto& [number, curve] : m_curves) {
        if (!curve.Ok()) {
            problems << QStringLiteral("Pull %1: %2").arg(number).arg(
                QString::fromStdString(curve.problem));
            continue;
        }
        const double k = corrected ? curve.correctionFactor : 1.0;
        factors << QStringLiteral("pull %1: %2 (BAP %3 inHg, ACT %4 \u00b0F)")
                       .arg(number)
                       .arg(Number(curve.correctionFactor, 3), Number(curve.bapInHg, 2),
                            Number(curve.actF, 0));
        const int order = place++;
        const QColor colour = kColours[static_cast<std::size_t>(order) % kColours.size()];
        QVector<double> rpm, hp, tq;
        for (const CurvePoint& p : curve.points) {
            rpm << p.rpm;
            hp << p.hp * k;
            tq << p.torque * k;
        }
        QCPGraph* power = m_chart->addGraph(m_chart->xAxis, m_chart->yAxis);
        power->setName(PullName(number));
        power->setPen(QPen(colour, 2));
        power->setData(rpm, hp, true);
        QCPGraph* torque = m_chart->addGraph(m_chart->xAxis, m_chart->yAxis2);
        torque->setPen(QPen(colour, 2, Qt::DashLine));
        torque->setData(rpm, tq, true);
        torque->removeFromLegend();

        for (const CurvePoint& p : curve.points) {
            m_curveTop[0] = std::max(m_curveTop[0], p.hp * k);
            m_curveTop[1] = std::max(m_curveTop[1], p.torque * k);
        }
        m_marks.push_back({false, curve.peakHp.rpm, curve.peakHp.value * k, curve.peakHp.atEnd,
                           colour});
        m_marks.push_back({true, curve.peakTorque.rpm, curve.peakTorque.value * k,
                           curve.peakTorque.atEnd, colour});
    }
    m_chart->rescaleAxes();
    const QRect area = m_chart->axisRect()->rect();
    PlaceLabels(area.width() > 100 && area.height() > 100
                    ? area.size()
                    : QSize(std::max(m_chart->width(), 480) - 140,
                            std::max(m_chart->height(), 360) - 90));
    m_chart->replot();

    if (m_scan.pulls.empty() && m_scan.problem.empty())
        problems << QStringLiteral("No log loaded.");
    m_status->setText(problems.join(QLatin1Char('\n')));
    m_factor->setText(factors.isEmpty()
                          ? QString()
                          : QStringLiteral("SAE J1349 factor%1 %2 %3")
                                .arg(factors.size() > 1 ? QStringLiteral("s") : QString(),
                                     corrected ? QStringLiteral("(applied):")
                                               : QStringLiteral("(not applied):"),
                                     factors.join(QStringLiteral("; "))));
    const bool drawn = !factors.isEmpty();
    m_saveSheet->setEnabled(drawn);
    m_export->setEnabled(drawn);
}

void DynoView::PlaceLabels(QSize plotArea) {
    // Labels sit in a band above every curve, each over its peak with a
    // guide down to it, in rows where they would meet: so no label covers
    // another or a curve, whichever pulls are overlaid.
    for (int i = m_chart->itemCount() - 1; i >= 0; --i) m_chart->removeItem(i);
    const QFontMetrics metrics(m_chart->font());
    const double xLo = m_chart->xAxis->range().lower, xHi = m_chart->xAxis->range().upper;
    const double pxPerRpm = xHi > xLo ? plotArea.width() / (xHi - xLo) : 1;
    std::vector<QString> texts;
    std::vector<LabelSpan> spans;
    for (const PeakMark& m : m_marks) {
        const QString unit = m.torque ? QStringLiteral("lb-ft") : QStringLiteral("hp");
        // A curve still rising where its pull ended has no peak there.
        texts.push_back(m.atEnd ? QStringLiteral("%1 %2 where the pull ended, %3 rpm")
                                      .arg(Number(m.value, 0), unit, Number(m.rpm, 0))
                                : QStringLiteral("%1 %2 @ %3")
                                      .arg(Number(m.value, 0), unit, Number(m.rpm, 0)));
        spans.push_back({(m.rpm - xLo) * pxPerRpm,
                         metrics.horizontalAdvance(texts.back()) / 2.0 + 2});
    }
    const std::vector<int> rows = StackLabels(spans, 8);
    const int rowCount = rows.empty() ? 0 : *std::max_element(rows.begin(), rows.end()) + 1;
    const double rowPx = metrics.height() + 2;
    const double band = std::min(0.6, (rowCount * rowPx + 10) / std::max(plotArea.height(), 1));
    m_chart->yAxis->setRange(0, std::max(10.0, m_curveTop[0] / (1 - band)));
    m_chart->yAxis2->setRange(0, std::max(10.0, m_curveTop[1] / (1 - band)));
    for (std::size_t i = 0; i < m_marks.size(); ++i) {
        const PeakMark& m = m_marks[i];
        QCPAxis* axis = m.torque ? m_chart->yAxis2 : m_chart->yAxis;
        auto* dot = new QCPItemTracer(m_chart);
        dot->position->setAxes(m_chart->xAxis, axis);
        dot->position->setCoords(m.rpm, m.value);
        dot->setStyle(m.atEnd ? QCPItemTracer::tsSquare : QCPItemTracer::tsCircle);
        dot->setSize(7);
        dot->setPen(QPen(m.colour));
        dot->setBrush(m.colour);
        // Row 0 is the lowest row of the band, just above the curves.
        const double labelBottom = (band * plotArea.height() - 4 - rows[i] * rowPx) /
                                   std::max(plotArea.height(), 1);
        auto* text = new QCPItemText(m_chart);
        text->position->setAxes(m_chart->xAxis, axis);
        text->position->setAxisRect(m_chart->axisRect());
        text->position->setTypeX(QCPItemPosition::ptPlotCoords);
        text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        text->position->setCoords(m.rpm, labelBottom);
        text->setPositionAlignment(Qt::AlignHCenter | Qt::AlignBottom);
        text->setColor(m.colour);
        text->setText(texts[i]);
        auto* guide = new QCPItemLine(m_chart);
        guide->start->setParentAnchor(text->bottom);
        guide->end->setParentAnchor(dot->position);
        guide->setPen(QPen(m.colour, 1, Qt::DotLine));
    }
}

QStringList DynoView::SheetLines() const {
    QStringList lines;
    for (const auto& [number, curve] : m_curves) {
        if (!curve.Ok()) continue;
        const double cf = curve.correctionFactor;
        lines << QStringLiteral("%1: BAP %2 inHg, ACT %3 \u00b0F, SAE J1349 factor %4")
                     .arg(PullName(number), Number(curve.bapInHg, 2), Number(curve.actF, 0),
                          Number(cf, 3));
        // A figure still rising where the pull ended is no peak.
        const auto figure = [&](const QString& peak, const QString& atEnd, const CurvePeak& p,
                                const QString& unit) {
            if (p.atEnd)
                return QStringLiteral("%1 %2 %3 where the pull ended at %4 rpm, no peak (SAE %5 %3)")
                    .arg(atEnd, Number(p.value, 1), unit, Number(p.rpm, 0),
                         Number(p.value * cf, 1));
            return QStringLiteral("%1 %2 %3 @ %4 rpm (SAE %5 %3)")
                .arg(peak, Number(p.value, 1), unit, Number(p.rpm, 0), Number(p.value * cf, 1));
        };
        lines << QStringLiteral("    %1; %2")
                     .arg(figure(QStringLiteral("Peak power"), QStringLiteral("Power"),
                                 curve.peakHp, QStringLiteral("hp")),
                          figure(QStringLiteral("peak torque"), QStringLiteral("torque"),
                                 curve.peakTorque, QStringLiteral("lb-ft")));
    }
    return lines;
}

QStringList DynoView::SheetHeader() const {
    QStringList lines;
    const QString description = m_carDescription.trimmed();
    if (!description.isEmpty())
        lines << description.section(QLatin1Char('\n'), 0, 0).trimmed();
    lines << (m_start.isValid()
                  ? QStringLiteral("Run of %1")
                        .arg(m_start.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                  : QStringLiteral("Date and time of the run unknown: the log has no time file"));
    lines << QStringLiteral("%1 figures at the wheels. Weight %2 lb, CdA %3 m\u00b2, Crr %4")
                 .arg(Corrected() ? QStringLiteral("SAE J1349 corrected")
                                  : QStringLiteral("Uncorrected"),
                      Number(m_vehicle.weightLb, 0), Number(m_vehicle.cda, 2),
                      Number(m_vehicle.crr, 3));
    const double smoothing = m_smoothing->value();
    lines << QStringLiteral("Relative humidity %1. %2")
                 .arg(m_humidity->value() > 0
                          ? Number(m_humidity->value(), 0) + QStringLiteral(" %")
                          : QStringLiteral("0 % (taken as dry air)"),
                      smoothing > 0
                          ? QStringLiteral("Smoothing: a centred quadratic fit over %1 rpm.")
                                .arg(Number(smoothing, 0))
                          : QStringLiteral("No smoothing: 50 rpm bins as measured."));
    return lines;
}

QImage DynoView::SheetImage(int width, int height) {
    const QStringList lines = SheetLines();
    QFont title(QStringLiteral("Liberation Sans"));
    title.setPixelSize(26);
    title.setBold(true);
    QFont body(QStringLiteral("Liberation Sans"));
    body.setPixelSize(15);
    const int lineHeight = 22;
    const QStringList headerLines = SheetHeader();
    const int header = 56 + lineHeight * static_cast<int>(headerLines.size()) + 8;
    const int footer = 24 + lineHeight * static_cast<int>(lines.size() + 1);
    const int chartHeight = std::max(200, height - header - footer);

    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(title);
    const QString car = m_carName.trimmed();
    painter.drawText(QRect(24, 14, width - 48, 34), Qt::AlignLeft | Qt::AlignVCenter,
                     car.isEmpty() ? QStringLiteral("Dyno sheet")
                                   : QStringLiteral("Dyno sheet: %1").arg(car));
    painter.setFont(body);
    int top = 52;
    for (const QString& line : headerLines) {
        painter.drawText(QRect(24, top, width - 48, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         line);
        top += lineHeight;
    }
    // The labels are laid out for the sheet's plot, then again for the window's.
    PlaceLabels(QSize(width - 140, chartHeight - 90));
    painter.drawPixmap(0, header, m_chart->toPixmap(width, chartHeight));
    Redraw();
    int y = header + chartHeight + 12;
    for (const QString& line : lines) {
        painter.drawText(QRect(24, y, width - 48, lineHeight), Qt::AlignLeft | Qt::AlignVCenter,
                         line);
        y += lineHeight;
    }
    painter.end();
    return image;
}

bool DynoView::SaveSheetTo(const QString& path, QString& error) {
    if (SheetLines().isEmpty()) {
        error = QStringLiteral("Pick a pull with a curve first.");
        return false;
    }
    const QImage image = SheetImage();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

bool DynoView::ExportCurveTo(const QString& path, QString& error) {
    const auto it = std::find_if(m_curves.begin(), m_curves.end(),
                                 [](const auto& entry) { return entry.second.Ok(); });
    if (it == m_curves.end()) {
        error = QStringLiteral("Pick a pull with a curve first.");
        return false;
    }
    const std::string csv = CurveCsv(it->second);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) ||
        file.write(csv.data(), static_cast<qint64>(csv.size())) != static_cast<qint64>(csv.size()) ||
        !file.commit()) {
        error = file.errorString();
        return false;
    }
    return true;
}

void DynoView::ShowProblem(const QString& text) {
    OpenMessage(this, QMessageBox::Warning, QStringLiteral("Dyno"), text);
}

void DynoView::SaveSheet_Click() {
    const QString base = QFileInfo(m_logName).completeBaseName();
    const QString suggested =
        (base.isEmpty() ? QStringLiteral("dyno") : base + QStringLiteral("-dyno")) +
        QStringLiteral(".png");
    OpenSaveDialog(this, QStringLiteral("Save Dyno Sheet"), suggested,
                   QStringLiteral("PNG pictures (*.png);;All files (*)"),
                   [this](const QString& path) {
                       QString error;
                       if (!SaveSheetTo(path, error))
                           ShowProblem(QStringLiteral("The dyno sheet could not be saved to "
                                                      "%1:\n%2").arg(path, error));
                   });
}

void DynoView::ExportCurve_Click() {
    const std::vector<int> picked = PickedPulls();
    const QString base = QFileInfo(m_logName).completeBaseName();
    const QString suggested =
        (base.isEmpty() ? QStringLiteral("dyno") : base) +
        (picked.empty() ? QString() : QStringLiteral("-pull%1").arg(picked.front())) +
        QStringLiteral(".csv");
    OpenSaveDialog(this, QStringLiteral("Export Curve"), suggested,
                   QStringLiteral("CSV files (*.csv);;All files (*)"),
                   [this](const QString& path) {
                       QString error;
                       if (!ExportCurveTo(path, error))
                           ShowProblem(QStringLiteral("The curve could not be exported to "
                                                      "%1:\n%2").arg(path, error));
                   });
}

}  // namespace quarn
