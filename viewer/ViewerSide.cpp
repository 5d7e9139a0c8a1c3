#include "viewer/ViewerSide.h"

#include <QDateTime>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <cmath>

#include "viewer/LogTable.h"

namespace quarn {
namespace {

// As many decimals as the size of the value calls for: 6123 rpm, 14.7 AFR,
// 2.43 V.
QString FormatValue(double v) {
    if (!std::isfinite(v)) return QStringLiteral("–");
    const double a = std::abs(v);
    const int decimals = a >= 1000 ? 0 : a >= 100 ? 1 : a >= 10 ? 2 : 3;
    return QString::number(v, 'f', decimals);
}

QString TimeText(const LogTable& table, std::size_t row, QString* clock) {
    bool estimated = true;
    const double seconds = table.SecondsAt(row, &estimated);
    if (clock) {
        clock->clear();
        if (!estimated && table.Start().isValid())
            *clock = table.Start()
                         .addMSecs(static_cast<qint64>(std::llround(seconds * 1000)))
                         .toLocalTime()
                         .toString(QStringLiteral("HH:mm:ss.zzz"));
    }
    QString text = QString::number(seconds, 'f', 3) + QStringLiteral(" s");
    if (estimated) text += QStringLiteral(" (estimated)");
    return text;
}

}  // namespace

ViewerSide::ViewerSide(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ViewerSide"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    m_values = new QTableWidget(kFirstChannelRow, kColumns, this);
    m_values->setObjectName(QStringLiteral("CursorValues"));
    m_values->setHorizontalHeaderLabels({QStringLiteral("At the cursor"), QStringLiteral("Value"),
                                         QStringLiteral("Second log"), QStringLiteral("A"),
                                         QStringLiteral("B"), QStringLiteral("B−A")});
    m_values->verticalHeader()->hide();
    m_values->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    m_values->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_values->setSelectionMode(QAbstractItemView::NoSelection);
    m_values->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    for (int c = 1; c < kColumns; ++c) {
        m_values->setColumnHidden(c, c > 1);
        m_values->horizontalHeader()->setSectionResizeMode(c, QHeaderView::ResizeToContents);
    }
    m_values->setToolTip(QStringLiteral("Double-click a channel to add a plot of it"));
    QFont bold = font();
    bold.setBold(true);
    Label(kRecordRow, QStringLiteral("Record"))->setFont(bold);
    Label(kTimeRow, QStringLiteral("Time"))->setFont(bold);
    Label(kClockRow, QStringLiteral("Clock"))->setFont(bold);
    SetChannels(ViewerChannels());
    connect(m_values, &QTableWidget::cellDoubleClicked, this, [this](int row, int) {
        if (row >= kFirstChannelRow) emit channelActivated(row - kFirstChannelRow);
    });
    layout->addWidget(m_values, 3);

    auto* box = new QGroupBox(QStringLiteral("Markers"), this);
    auto* boxLayout = new QVBoxLayout(box);
    boxLayout->setContentsMargins(4, 4, 4, 4);
    m_markers = new QTreeWidget(box);
    m_markers->setObjectName(QStringLiteral("Markers"));
    m_markers->setHeaderLabels({QStringLiteral("At"), QStringLiteral("Name")});
    m_markers->setRootIsDecorated(false);
    m_markers->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_markers->setToolTip(QStringLiteral("Click a marker to go to it; double-click its name to "
                                         "rename it"));
    boxLayout->addWidget(m_markers);
    auto* buttons = new QHBoxLayout;
    m_add = new QPushButton(QStringLiteral("Add at cursor"), box);
    m_add->setObjectName(QStringLiteral("AddMarker"));
    m_rename = new QPushButton(QStringLiteral("Rename"), box);
    m_rename->setObjectName(QStringLiteral("RenameMarker"));
    m_delete = new QPushButton(QStringLiteral("Delete"), box);
    m_delete->setObjectName(QStringLiteral("DeleteMarker"));
    for (QPushButton* b : {m_add, m_rename, m_delete}) buttons->addWidget(b);
    boxLayout->addLayout(buttons);
    layout->addWidget(box, 2);

    connect(m_markers, &QTreeWidget::itemClicked, this, [this](QTreeWidgetItem* item) {
        emit markerActivated(m_markers->indexOfTopLevelItem(item));
    });
    connect(m_markers, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        emit markerActivated(m_markers->indexOfTopLevelItem(item));
    });
    connect(m_markers, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem* item, int) { m_markers->editItem(item, 1); });
    connect(m_markers, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item, int column) {
        if (m_filling || column != 1) return;
        emit markerRenamed(m_markers->indexOfTopLevelItem(item), item->text(1));
    });
    connect(m_add, &QPushButton::clicked, this, &ViewerSide::addClicked);
    connect(m_rename, &QPushButton::clicked, this, [this] { EditMarker(CurrentMarker()); });
    connect(m_delete, &QPushButton::clicked, this, [this] {
        if (CurrentMarker() >= 0) emit deleteClicked(CurrentMarker());
    });
}

QTableWidgetItem* ViewerSide::Label(int row, const QString& text) {
    auto* item = new QTableWidgetItem(text);
    m_values->setItem(row, 0, item);
    for (int c = 1; c < kColumns; ++c) {
        auto* value = new QTableWidgetItem;
        value->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        m_values->setItem(row, c, value);
    }
    return item;
}

void ViewerSide::SetChannels(const std::vector<ViewerChannel>& channels) {
    m_channelCount = static_cast<int>(channels.size());
    m_values->setRowCount(kFirstChannelRow + m_channelCount);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const QString text = QStringLiteral("%1 (%2)").arg(channels[i].name, channels[i].unit);
        const int row = kFirstChannelRow + static_cast<int>(i);
        QTableWidgetItem* item = m_values->item(row, 0);
        if (!item) item = Label(row, text);
        else if (item->text() != text) item->setText(text);
        // Math channels in italics: a formula's values, not the car's.
        QFont f = font();
        f.setItalic(channels[i].math);
        item->setFont(f);
    }
}

void ViewerSide::SetValue(int row, int column, const QString& text) {
    QTableWidgetItem* item = m_values->item(row, column);
    if (item && item->text() != text) item->setText(text);
}

void ViewerSide::ShowValues(const LogTable* table, std::size_t row, const LogTable* second,
                            std::size_t secondRow, bool secondInRange) {
    if (table && table->ChannelCount() != m_channelCount) SetChannels(table->Channels());
    const int channels = m_channelCount;
    m_values->setColumnHidden(2, second == nullptr);
    for (int column = 1; column <= 2; ++column) {
        const LogTable* t = column == 1 ? table : second;
        const std::size_t r = column == 1 ? row : secondRow;
        const bool shown = t && t->Rows() > 0 && (column == 1 || secondInRange);
        QString clock;
        SetValue(kRecordRow, column, shown ? QString::number(t->Records()[r]) : QString());
        SetValue(kTimeRow, column, shown ? TimeText(*t, r, &clock) : QString());
        SetValue(kClockRow, column, clock);
        for (int c = 0; c < channels; ++c)
            SetValue(kFirstChannelRow + c, column,
                     shown && c < t->ChannelCount() ? FormatValue(t->Column(c)[r]) : QString());
    }
}

void ViewerSide::ShowCursorPair(const LogTable* table, const std::optional<std::size_t>& a,
                                const std::optional<std::size_t>& b) {
    const bool any = table && table->Rows() > 0 && (a || b);
    for (int c = kColumnA; c <= kColumnDelta; ++c) m_values->setColumnHidden(c, !any);
    if (!any) return;
    if (table->ChannelCount() != m_channelCount) SetChannels(table->Channels());
    for (int which = 0; which < 2; ++which) {
        const std::optional<std::size_t>& row = which == 0 ? a : b;
        const int column = which == 0 ? kColumnA : kColumnB;
        QString clock;
        SetValue(kRecordRow, column, row ? QString::number(table->Records()[*row]) : QString());
        SetValue(kTimeRow, column, row ? TimeText(*table, *row, &clock) : QString());
        SetValue(kClockRow, column, clock);
        for (int c = 0; c < m_channelCount; ++c)
            SetValue(kFirstChannelRow + c, column,
                     row ? FormatValue(table->Column(c)[*row]) : QString());
    }
    const bool both = a && b;
    SetValue(kRecordRow, kColumnDelta,
             both ? QString::number(table->Records()[*b] - table->Records()[*a]) : QString());
    // Δt: the time between the two cursors.
    SetValue(kTimeRow, kColumnDelta,
             both ? QString::number(table->SecondsAt(*b) - table->SecondsAt(*a), 'f', 3) +
                        QStringLiteral(" s")
                  : QString());
    SetValue(kClockRow, kColumnDelta, QString());
    for (int c = 0; c < m_channelCount; ++c)
        SetValue(kFirstChannelRow + c, kColumnDelta,
                 both ? FormatValue(table->Column(c)[*b] - table->Column(c)[*a]) : QString());
}

void ViewerSide::SetMarkers(const std::vector<MarkerEntry>& markers) {
    m_filling = true;
    const int current = CurrentMarker();
    const int count = static_cast<int>(markers.size());
    while (m_markers->topLevelItemCount() > count)
        delete m_markers->takeTopLevelItem(m_markers->topLevelItemCount() - 1);
    bool atChanged = false;
    m_kinds.resize(markers.size());
    for (int i = 0; i < count; ++i) {
        const MarkerEntry& m = markers[static_cast<std::size_t>(i)];
        QTreeWidgetItem* item = m_markers->topLevelItem(i);
        if (!item) {
            item = new QTreeWidgetItem(m_markers);
            item->setFlags(item->flags() | Qt::ItemIsEditable);
            item->setTextAlignment(0, Qt::AlignRight | Qt::AlignVCenter);
        }
        if (item->text(0) != m.at) {
            item->setText(0, m.at);
            atChanged = true;
        }
        if (item->text(1) != m.name) item->setText(1, m.name);
        const QString tip = QStringLiteral("Kind: %1").arg(m.kind);
        if (item->toolTip(1) != tip) item->setToolTip(1, tip);
        m_kinds[static_cast<std::size_t>(i)] = m.kind;
        item->setHidden(m_hiddenKinds.contains(m.kind));
    }
    if (atChanged) m_markers->resizeColumnToContents(0);
    if (current >= 0 && current < m_markers->topLevelItemCount()) SelectMarker(current);
    m_filling = false;
}

void ViewerSide::SetMarkerAt(int index, const QString& at) {
    QTreeWidgetItem* item = m_markers->topLevelItem(index);
    if (!item || item->text(0) == at) return;
    m_filling = true;
    item->setText(0, at);
    m_filling = false;
}

void ViewerSide::SetHiddenKinds(const QSet<QString>& kinds) {
    m_hiddenKinds = kinds;
    for (int i = 0; i < m_markers->topLevelItemCount() && i < static_cast<int>(m_kinds.size()); ++i)
        m_markers->topLevelItem(i)->setHidden(kinds.contains(m_kinds[static_cast<std::size_t>(i)]));
}

int ViewerSide::CurrentMarker() const {
    QTreeWidgetItem* item = m_markers->currentItem();
    return item ? m_markers->indexOfTopLevelItem(item) : -1;
}

void ViewerSide::SelectMarker(int index) {
    if (QTreeWidgetItem* item = m_markers->topLevelItem(index)) m_markers->setCurrentItem(item);
}

void ViewerSide::EditMarker(int index) {
    QTreeWidgetItem* item = m_markers->topLevelItem(index);
    if (!item) return;
    m_markers->setCurrentItem(item);
    m_markers->editItem(item, 1);
}

}  // namespace quarn
