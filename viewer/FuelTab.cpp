// The Fuel tab's inputs: building them, reading them into a setup and back,
// and keeping them per car. The run and its answer are in FuelTabRun.cpp.

#include "viewer/FuelTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSpinBox>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <qcustomplot.h>

namespace quarn {
namespace {

QDoubleSpinBox* Spin(QWidget* parent, double lo, double hi, int decimals, const QString& suffix) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(lo, hi);
    box->setDecimals(decimals);
    box->setSuffix(suffix);
    return box;
}

QLabel* Removed(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setMinimumWidth(90);
    label->setStyleSheet(QStringLiteral("color: #555"));
    return label;
}

QWidget* WithRemoved(QWidget* parent, QWidget* input, QLabel* removed) {
    auto* row = new QWidget(parent);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(input, 1);
    layout->addWidget(removed);
    return row;
}

QLabel* Problem(QWidget* parent, const char* name) {
    auto* label = new QLabel(parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setStyleSheet(QStringLiteral("color: #b01414"));
    label->setWordWrap(true);
    label->hide();
    return label;
}

}  // namespace

FuelTab::FuelTab(const VehicleData& car, QString carName, QString settingsFile, QWidget* parent)
    : QWidget(parent), m_store(std::move(settingsFile)), m_carName(std::move(carName)) {
    setObjectName(QStringLiteral("FuelTab"));
    m_defaults.setup.injector.slopeLbHr = car.injsize();
    m_defaults.setup.injector.cylinders = static_cast<int>(car.numcyl());

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(BuildInputs());
    scroll->setMinimumWidth(scroll->widget()->minimumSizeHint().width() + 20);

    m_answer = new QTableWidget(this);
    m_answer->setObjectName(QStringLiteral("FuelAnswer"));
    m_answer->verticalHeader()->hide();
    m_answer->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_answer->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_answer->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_notes = new QLabel(this);
    m_notes->setObjectName(QStringLiteral("FuelNotes"));
    m_notes->setWordWrap(true);
    m_notes->setText(QStringLiteral("Paste the MAF transfer of the tune, then Apply."));
    m_plot = new QCustomPlot(this);
    m_plot->setObjectName(QStringLiteral("FuelPlot"));
    m_plot->setMinimumHeight(160);
    connect(m_plot, &QCustomPlot::beforeReplot, this, &FuelTab::ThinHitLabels);
    auto* answerPage = new QWidget(this);
    auto* answerLayout = new QVBoxLayout(answerPage);
    answerLayout->setContentsMargins(0, 0, 0, 0);
    answerLayout->addWidget(m_answer, 1);
    answerLayout->addWidget(m_notes);
    auto* right = new QSplitter(Qt::Vertical, this);
    right->addWidget(answerPage);
    right->addWidget(m_plot);
    right->setSizes({330, 300});

    auto* split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(scroll);
    split->addWidget(right);
    split->setStretchFactor(1, 1);
    split->setSizes({400, 600});
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(split);

    SetInputs(m_store.Load(m_carName, m_defaults).value_or(m_defaults));
    ShowResult(FuelResult{});
}

QWidget* FuelTab::BuildInputs() {
    auto* page = new QWidget;
    auto* column = new QVBoxLayout(page);

    auto* table = new QGroupBox(QStringLiteral("MAF transfer of the tune"), page);
    auto* tableLayout = new QVBoxLayout(table);
    m_transfer = new QPlainTextEdit(table);
    m_transfer->setObjectName(QStringLiteral("FuelTransfer"));
    m_transfer->setPlaceholderText(QStringLiteral("Paste two columns: volts, airflow"));
    m_transfer->setTabChangesFocus(true);
    m_transfer->setFixedHeight(110);
    m_unit = new QComboBox(table);
    m_unit->addItems({QStringLiteral("kg/h"), QStringLiteral("lb/min")});
    auto* load = new QPushButton(QStringLiteral("Load CSV/TSV…"), table);
    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(new QLabel(QStringLiteral("Airflow in"), table));
    unitRow->addWidget(m_unit);
    unitRow->addStretch(1);
    unitRow->addWidget(load);
    m_transferProblem = Problem(table, "FuelTransferProblem");
    tableLayout->addWidget(m_transfer);
    tableLayout->addLayout(unitRow);
    tableLayout->addWidget(m_transferProblem);
    column->addWidget(table);

    auto* injector = new QGroupBox(QStringLiteral("Injectors and fuel"), page);
    auto* form = new QFormLayout(injector);
    m_slope = Spin(injector, 1, 500, 1, QStringLiteral(" lb/hr"));
    m_slope->setObjectName(QStringLiteral("FuelSlope"));
    m_offset = Spin(injector, 0, 5, 3, QStringLiteral(" ms"));
    m_breakpoint = Spin(injector, 0, 10, 2, QStringLiteral(" ms"));
    m_breakpoint->setSpecialValueText(QStringLiteral("none"));
    m_breakpoint->setToolTip(QStringLiteral("Pulses shorter than this flow at the low slope"));
    m_lowSlope = Spin(injector, 0, 500, 1, QStringLiteral(" lb/hr"));
    m_firing = new QComboBox(injector);
    m_firing->addItems({QStringLiteral("Sequential"), QStringLiteral("Bank fire")});
    m_cylinders = new QSpinBox(injector);
    m_cylinders->setRange(1, 64);
    m_fuel = new QComboBox(injector);
    m_fuel->addItems({QStringLiteral("Gasoline"), QStringLiteral("E10"), QStringLiteral("E85"),
                      QStringLiteral("Custom")});
    m_stoich = Spin(injector, 2, 20, 2, QString());
    m_stoich->setToolTip(QStringLiteral("Stoichiometric AFR of the fuel"));
    auto* fuelRow = new QHBoxLayout;
    fuelRow->addWidget(m_fuel, 1);
    fuelRow->addWidget(new QLabel(QStringLiteral("stoich"), injector));
    fuelRow->addWidget(m_stoich);
    m_mixture = new QComboBox(injector);
    m_mixture->addItems({QStringLiteral("AFR"), QStringLiteral("λ")});
    m_mixture->setToolTip(QStringLiteral("Mixture as AFR of the fuel, or as lambda"));
    m_target = Spin(injector, 0.3, 30, 2, QString());
    m_target->setObjectName(QStringLiteral("FuelTarget"));
    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(m_target, 1);
    targetRow->addWidget(m_mixture);
    m_lag = Spin(injector, 0, 1000, 0, QStringLiteral(" ms"));
    m_lag->setObjectName(QStringLiteral("FuelLag"));
    auto* estimate = new QPushButton(QStringLiteral("Estimate"), injector);
    estimate->setObjectName(QStringLiteral("FuelEstimateLag"));
    estimate->setToolTip(QStringLiteral("From the throttle tip-ins of the log"));
    auto* lagRow = new QHBoxLayout;
    lagRow->addWidget(m_lag, 1);
    lagRow->addWidget(estimate);
    m_lagNote = new QLabel(injector);
    m_lagNote->setWordWrap(true);
    m_lagNote->hide();
    form->addRow(QStringLiteral("Slope"), m_slope);
    form->addRow(QStringLiteral("Offset"), m_offset);
    form->addRow(QStringLiteral("Breakpoint"), m_breakpoint);
    form->addRow(QStringLiteral("Low slope"), m_lowSlope);
    form->addRow(QStringLiteral("Injection"), m_firing);
    form->addRow(QStringLiteral("Cylinders"), m_cylinders);
    form->addRow(QStringLiteral("Fuel"), fuelRow);
    form->addRow(QStringLiteral("Open-loop target"), targetRow);
    form->addRow(QStringLiteral("Wideband lag"), lagRow);
    form->addRow(m_lagNote);
    column->addWidget(injector);
    column->addWidget(BuildFilters());

    m_apply = new QPushButton(QStringLiteral("Apply"), page);
    m_apply->setObjectName(QStringLiteral("FuelApply"));
    m_apply->setDefault(true);
    m_copy = new QPushButton(QStringLiteral("Copy"), page);
    m_copy->setObjectName(QStringLiteral("FuelCopy"));
    m_copy->setToolTip(QStringLiteral("Volts and suggested airflow, for the tuning editor"));
    m_save = new QPushButton(QStringLiteral("Save…"), page);
    m_save->setObjectName(QStringLiteral("FuelSave"));
    m_save->setToolTip(QStringLiteral("The whole answer as CSV"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_apply);
    buttons->addStretch(1);
    buttons->addWidget(m_copy);
    buttons->addWidget(m_save);
    column->addLayout(buttons);
    m_status = new QLabel(page);
    m_status->setObjectName(QStringLiteral("FuelStatus"));
    m_status->setWordWrap(true);
    column->addWidget(m_status);
    column->addStretch(1);

    connect(load, &QPushButton::clicked, this, &FuelTab::LoadTransferFile);
    connect(m_fuel, &QComboBox::currentIndexChanged, this, &FuelTab::FuelChanged);
    connect(m_mixture, &QComboBox::currentIndexChanged, this, &FuelTab::ShowLambdaChanged);
    connect(estimate, &QPushButton::clicked, this, &FuelTab::EstimateLag);
    connect(m_apply, &QPushButton::clicked, this, &FuelTab::Apply);
    connect(m_copy, &QPushButton::clicked, this, &FuelTab::Copy);
    connect(m_save, &QPushButton::clicked, this, &FuelTab::Save);
    connect(m_custom, &QLineEdit::returnPressed, this, &FuelTab::Apply);
    return page;
}

QWidget* FuelTab::BuildFilters() {
    auto* box = new QGroupBox(QStringLiteral("Records used (removed in the last run)"));
    auto* form = new QFormLayout(box);
    m_records = new QComboBox(box);
    m_records->setObjectName(QStringLiteral("FuelRecords"));
    m_records->addItems({QStringLiteral("The whole log"), QStringLiteral("The selected range")});
    m_removedWarmUp = Removed(box);
    form->addRow(QStringLiteral("From"), WithRemoved(box, m_records, m_removedWarmUp));
    m_minEct = Spin(box, -40, 300, 0, QStringLiteral(" °F"));
    m_removedEct = Removed(box);
    form->addRow(QStringLiteral("Coolant at least"), WithRemoved(box, m_minEct, m_removedEct));
    m_minDuty = Spin(box, 0, 100, 1, QStringLiteral(" %"));
    m_minDuty->setToolTip(QStringLiteral("At or below: deceleration fuel cut"));
    m_removedDuty = Removed(box);
    form->addRow(QStringLiteral("Injector duty over"), WithRemoved(box, m_minDuty, m_removedDuty));
    m_throttleRate = Spin(box, 0.1, 1000, 1, QStringLiteral(" %/s"));
    m_afterThrottle = Spin(box, 0, 10, 2, QStringLiteral(" s"));
    m_removedThrottle = Removed(box);
    auto* throttle = new QWidget(box);
    auto* throttleRow = new QHBoxLayout(throttle);
    throttleRow->setContentsMargins(0, 0, 0, 0);
    throttleRow->addWidget(m_afterThrottle);
    throttleRow->addWidget(new QLabel(QStringLiteral("after"), box));
    throttleRow->addWidget(m_throttleRate);
    form->addRow(QStringLiteral("Throttle still for"), WithRemoved(box, throttle, m_removedThrottle));
    m_maxMafRate = Spin(box, 0.01, 50, 2, QStringLiteral(" V/s"));
    m_removedMafRate = Removed(box);
    form->addRow(QStringLiteral("MAF change at most"), WithRemoved(box, m_maxMafRate, m_removedMafRate));
    m_minAfr = Spin(box, 0.3, 30, 2, QString());
    m_maxAfr = Spin(box, 0.3, 30, 2, QString());
    m_removedAfr = Removed(box);
    auto* range = new QWidget(box);
    auto* rangeRow = new QHBoxLayout(range);
    rangeRow->setContentsMargins(0, 0, 0, 0);
    rangeRow->addWidget(m_minAfr);
    rangeRow->addWidget(new QLabel(QStringLiteral("to"), box));
    rangeRow->addWidget(m_maxAfr);
    form->addRow(QStringLiteral("Wideband from"), WithRemoved(box, range, m_removedAfr));
    m_custom = new QLineEdit(box);
    m_custom->setObjectName(QStringLiteral("FuelCustom"));
    m_custom->setPlaceholderText(QStringLiteral("e.g. RPM > 1200 and ACT < 120"));
    m_custom->setToolTip(QStringLiteral("Only records where this holds; any channel of the log"));
    m_removedCustom = Removed(box);
    form->addRow(QStringLiteral("And where"), WithRemoved(box, m_custom, m_removedCustom));
    m_customProblem = Problem(box, "FuelCustomProblem");
    form->addRow(m_customProblem);
    m_clamp = Spin(box, 0, 100, 1, QStringLiteral(" %"));
    m_clamp->setToolTip(QStringLiteral("The largest change of a row in one pass"));
    m_smooth = new QCheckBox(QStringLiteral("Smooth"), box);
    auto* clampRow = new QHBoxLayout;
    clampRow->addWidget(m_clamp, 1);
    clampRow->addWidget(m_smooth);
    form->addRow(QStringLiteral("Change at most"), clampRow);
    return box;
}

void FuelTab::FuelChanged() {
    m_stoich->setEnabled(m_fuel->currentIndex() == static_cast<int>(FuelKind::Custom));
    if (!m_stoich->isEnabled())
        m_stoich->setValue(StoichOf(static_cast<FuelKind>(m_fuel->currentIndex()), 0));
}

void FuelTab::ShowLambdaChanged() {
    // The boxes keep one meaning in the inputs (AFR) and show the other on
    // demand: the target as lambda of the chosen fuel, the wideband range
    // as lambda of the gasoline scale the wideband reads on.
    const bool lambda = m_mixture->currentIndex() == 1;
    const bool was = m_target->property("lambda").toBool();
    if (lambda == was) return;
    const double stoich = m_stoich->value();
    const double target = m_target->value(), lo = m_minAfr->value(), hi = m_maxAfr->value();
    for (QDoubleSpinBox* box : {m_target, m_minAfr, m_maxAfr}) {
        box->setProperty("lambda", lambda);
        box->setDecimals(lambda ? 3 : 2);
        box->setSingleStep(lambda ? 0.01 : 0.1);
    }
    m_target->setValue(lambda ? target / stoich : target * stoich);
    m_minAfr->setValue(lambda ? lo / kWidebandStoich : lo * kWidebandStoich);
    m_maxAfr->setValue(lambda ? hi / kWidebandStoich : hi * kWidebandStoich);
}

double FuelTab::TargetAfr() const {
    return m_target->property("lambda").toBool() ? m_target->value() * m_stoich->value()
                                                 : m_target->value();
}

FuelInputs FuelTab::Inputs() const {
    FuelInputs in;
    in.transfer = m_transfer->toPlainText();
    in.unit = m_unit->currentIndex() == 1 ? AirflowUnit::LbPerMin : AirflowUnit::KgPerHour;
    FuelSetup& s = in.setup;
    s.injector.slopeLbHr = m_slope->value();
    s.injector.offsetMs = m_offset->value();
    s.injector.breakpointMs = m_breakpoint->value();
    s.injector.lowSlopeLbHr = m_lowSlope->value();
    s.injector.bankFire = m_firing->currentIndex() == 1;
    s.injector.cylinders = m_cylinders->value();
    s.fuel = static_cast<FuelKind>(m_fuel->currentIndex());
    s.customStoich = m_stoich->value();
    s.target.afr = TargetAfr();
    s.lagMs = m_lag->value();
    s.clampPercent = m_clamp->value();
    s.smooth = m_smooth->isChecked();
    const double wide = m_minAfr->property("lambda").toBool() ? kWidebandStoich : 1;
    s.filters.minEctF = m_minEct->value();
    s.filters.maxMafVoltsPerSecond = m_maxMafRate->value();
    s.filters.minInjDutyPercent = m_minDuty->value();
    s.filters.throttlePercentPerSecond = m_throttleRate->value();
    s.filters.afterThrottleSeconds = m_afterThrottle->value();
    s.filters.minAfr = m_minAfr->value() * wide;
    s.filters.maxAfr = m_maxAfr->value() * wide;
    in.custom = m_custom->text();
    in.selectionOnly = m_records->currentIndex() == 1;
    in.showLambda = m_mixture->currentIndex() == 1;
    return in;
}

void FuelTab::SetInputs(const FuelInputs& in) {
    // Filled as AFR, then shown as lambda if asked.
    m_mixture->setCurrentIndex(0);
    ShowLambdaChanged();
    const FuelSetup& s = in.setup;
    m_transfer->setPlainText(in.transfer);
    m_unit->setCurrentIndex(in.unit == AirflowUnit::LbPerMin ? 1 : 0);
    m_slope->setValue(s.injector.slopeLbHr);
    m_offset->setValue(s.injector.offsetMs);
    m_breakpoint->setValue(s.injector.breakpointMs);
    m_lowSlope->setValue(s.injector.lowSlopeLbHr);
    m_firing->setCurrentIndex(s.injector.bankFire ? 1 : 0);
    m_cylinders->setValue(s.injector.cylinders);
    m_fuel->setCurrentIndex(static_cast<int>(s.fuel));
    m_stoich->setValue(s.customStoich);
    FuelChanged();
    m_target->setValue(s.target.afr);
    m_lag->setValue(s.lagMs);
    m_clamp->setValue(s.clampPercent);
    m_smooth->setChecked(s.smooth);
    m_minEct->setValue(s.filters.minEctF);
    m_maxMafRate->setValue(s.filters.maxMafVoltsPerSecond);
    m_minDuty->setValue(s.filters.minInjDutyPercent);
    m_throttleRate->setValue(s.filters.throttlePercentPerSecond);
    m_afterThrottle->setValue(s.filters.afterThrottleSeconds);
    m_minAfr->setValue(s.filters.minAfr);
    m_maxAfr->setValue(s.filters.maxAfr);
    m_custom->setText(in.custom);
    m_records->setCurrentIndex(in.selectionOnly ? 1 : 0);
    m_mixture->setCurrentIndex(in.showLambda ? 1 : 0);
}

void FuelTab::LoadTransferFile() {
    auto* dialog = new QFileDialog(this, QStringLiteral("Load the MAF transfer"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setFileMode(QFileDialog::ExistingFile);
    dialog->setNameFilters({QStringLiteral("Tables (*.csv *.tsv *.txt)"), QStringLiteral("All files (*)")});
    connect(dialog, &QFileDialog::fileSelected, this, [this](const QString& path) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            m_transferProblem->setText(QStringLiteral("%1 could not be read: %2")
                                           .arg(path, file.errorString()));
            m_transferProblem->show();
            return;
        }
        m_transfer->setPlainText(QString::fromUtf8(file.readAll()));
        MafTransfer parsed;
        ReadTransfer(parsed);
    });
    dialog->open();
}

bool FuelTab::ReadTransfer(MafTransfer& out) {
    const AirflowUnit unit = m_unit->currentIndex() == 1 ? AirflowUnit::LbPerMin : AirflowUnit::KgPerHour;
    std::string error;
    const bool ok = ParseTransfer(m_transfer->toPlainText().toStdString(), unit, out, &error);
    m_transferProblem->setText(QString::fromStdString(error));
    m_transferProblem->setVisible(!ok);
    return ok;
}

}  // namespace quarn
