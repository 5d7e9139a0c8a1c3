#include "viewer/EventsPanel.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

#include "viewer/LogTable.h"
#include "viewer/MathColumns.h"

namespace quarn {
namespace {

QString Number(double v) {
    if (!std::isfinite(v)) return QStringLiteral("–");
    const double a = std::abs(v);
    return QString::number(v, 'f', a >= 1000 ? 0 : a >= 100 ? 1 : 2);
}

}  // namespace

EventsPanel::EventsPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("EventsPanel"));
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    m_where = new QLineEdit(this);
    m_where->setObjectName(QStringLiteral("EventWhere"));
    m_where->setPlaceholderText(QStringLiteral("e.g. WideO2 > 13.5 and TPS > 3"));
    m_minSeconds = new QDoubleSpinBox(this);
    m_minSeconds->setObjectName(QStringLiteral("EventSeconds"));
    m_minSeconds->setRange(0, 3600);
    m_minSeconds->setDecimals(2);
    m_minSeconds->setValue(0.5);
    m_minSeconds->setSuffix(QStringLiteral(" s"));
    m_channel = new QComboBox(this);
    m_channel->setObjectName(QStringLiteral("EventChannel"));
    m_channel->setToolTip(QStringLiteral("The channel whose peak and minimum each stretch shows"));
    auto* find = new QPushButton(QStringLiteral("Find"), this);
    find->setObjectName(QStringLiteral("EventFind"));
    row->addWidget(new QLabel(QStringLiteral("Where"), this));
    row->addWidget(m_where, 1);
    row->addWidget(new QLabel(QStringLiteral("for at least"), this));
    row->addWidget(m_minSeconds);
    row->addWidget(new QLabel(QStringLiteral("showing"), this));
    row->addWidget(m_channel);
    row->addWidget(find);
    layout->addLayout(row);
    m_problem = new QLabel(this);
    m_problem->setObjectName(QStringLiteral("EventProblem"));
    m_problem->setStyleSheet(QStringLiteral("color: #b01414"));
    m_problem->hide();
    layout->addWidget(m_problem);

    m_list = new QTreeWidget(this);
    m_list->setObjectName(QStringLiteral("EventList"));
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({QStringLiteral("#"), QStringLiteral("Start (s)"),
                             QStringLiteral("Duration (s)"), QStringLiteral("Peak"),
                             QStringLiteral("Minimum")});
    m_list->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_list->header()->setStretchLastSection(false);
    layout->addWidget(m_list, 1);

    auto* buttons = new QHBoxLayout;
    auto* previous = new QPushButton(QStringLiteral("Previous"), this);
    previous->setShortcut(QKeySequence(Qt::Key_PageUp));
    auto* next = new QPushButton(QStringLiteral("Next"), this);
    next->setShortcut(QKeySequence(Qt::Key_PageDown));
    m_add = new QPushButton(QStringLiteral("Add all as markers"), this);
    m_add->setObjectName(QStringLiteral("EventMarkers"));
    m_add->setEnabled(false);
    buttons->addWidget(previous);
    buttons->addWidget(next);
    buttons->addStretch(1);
    buttons->addWidget(m_add);
    layout->addLayout(buttons);

    connect(find, &QPushButton::clicked, this, &EventsPanel::Search);
    connect(m_where, &QLineEdit::returnPressed, this, &EventsPanel::Search);
    connect(previous, &QPushButton::clicked, this, [this] { Step(-1); });
    connect(next, &QPushButton::clicked, this, [this] { Step(1); });
    connect(m_list, &QTreeWidget::itemClicked, this,
            [this](QTreeWidgetItem* item) { Choose(m_list->indexOfTopLevelItem(item)); });
    connect(m_list, &QTreeWidget::itemActivated, this,
            [this](QTreeWidgetItem* item) { Choose(m_list->indexOfTopLevelItem(item)); });
    connect(m_add, &QPushButton::clicked, this,
            [this] { emit addMarkers(m_where->text().simplified(), m_events); });
    ChannelsChanged();
}

void EventsPanel::SetTable(const LogTable* table) {
    m_table = table;
    ChannelsChanged();
    m_events.clear();
    m_list->clear();
    m_add->setEnabled(false);
}

void EventsPanel::ChannelsChanged() {
    const QSignalBlocker block(m_channel);
    const QString current = m_channel->currentText();
    m_channel->clear();
    for (const ViewerChannel& c : m_table ? m_table->Channels() : ViewerChannels())
        m_channel->addItem(c.name);
    const int at = m_channel->findText(current.isEmpty() ? QStringLiteral("RPM") : current);
    m_channel->setCurrentIndex(std::max(at, 0));
}

void EventsPanel::Search() {
    m_events.clear();
    m_list->clear();
    m_problem->hide();
    if (!m_table || m_table->Rows() == 0) return;
    ExpressionError error;
    const std::vector<float> condition = EvaluateCondition(*m_table, m_where->text(), &error);
    if (error.Failed() || condition.empty()) {
        m_problem->setText(error.Failed() ? ErrorText(error)
                                          : QStringLiteral("Type the condition to look for."));
        m_problem->show();
        m_add->setEnabled(false);
        return;
    }
    std::vector<double> seconds(m_table->Rows());
    for (std::size_t r = 0; r < seconds.size(); ++r) seconds[r] = m_table->SecondsAt(r);
    const int channel = m_channel->currentIndex();
    std::span<const float> values;
    if (channel >= 0 && channel < m_table->ChannelCount()) values = m_table->Column(channel);
    // Records still warming up are no event of the engine.
    m_events = FindEvents(condition, seconds, m_minSeconds->value(), values,
                          RowRange{m_table->WarmUpRows(), m_table->Rows()});
    for (std::size_t i = 0; i < m_events.size(); ++i) {
        const EventStretch& e = m_events[i];
        auto* item = new QTreeWidgetItem(m_list, {QString::number(i + 1), Number(e.start),
                                                  Number(e.duration), Number(e.peak), Number(e.min)});
        for (int c = 0; c < 5; ++c) item->setTextAlignment(c, Qt::AlignRight | Qt::AlignVCenter);
    }
    m_add->setEnabled(!m_events.empty());
    if (m_events.empty()) {
        m_problem->setText(QStringLiteral("No stretch of the log meets it."));
        m_problem->show();
    }
}

void EventsPanel::Step(int step) {
    if (m_events.empty()) return;
    const int current = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int count = static_cast<int>(m_events.size());
    int next = current < 0 ? (step > 0 ? 0 : count - 1) : current + step;
    next = std::clamp(next, 0, count - 1);
    Choose(next);
}

void EventsPanel::Choose(int index) {
    if (index < 0 || index >= static_cast<int>(m_events.size())) return;
    m_list->setCurrentItem(m_list->topLevelItem(index));
    emit rowChosen(m_events[static_cast<std::size_t>(index)].firstRow);
}

}  // namespace quarn
