#include "viewer/MathPanel.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "viewer/MathColumns.h"

namespace quarn {
namespace {

enum Column { kName, kUnit, kFormula, kProblem, kColumns };

}  // namespace

MathPanel::MathPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("MathPanel"));
    auto* layout = new QVBoxLayout(this);
    m_table = new QTableWidget(0, kColumns, this);
    m_table->setObjectName(QStringLiteral("MathTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Name"), QStringLiteral("Unit"),
                                        QStringLiteral("Formula"), QStringLiteral("Problem")});
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(kFormula, QHeaderView::Stretch);
    m_table->horizontalHeader()->setSectionResizeMode(kProblem, QHeaderView::Stretch);
    m_table->setColumnWidth(kName, 110);
    m_table->setColumnWidth(kUnit, 60);
    layout->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    auto* add = new QPushButton(QStringLiteral("Add"), this);
    auto* remove = new QPushButton(QStringLiteral("Remove"), this);
    auto* apply = new QPushButton(QStringLiteral("Apply"), this);
    apply->setObjectName(QStringLiteral("MathApply"));
    apply->setToolTip(QStringLiteral("Compute the channels over the logs shown"));
    m_help = new QLabel(QStringLiteral("A formula names channels as the plots do, e.g. "
                                       "<i>MAF * 2</i> or <i>smooth(RPM, 0.5)</i>; see the README."),
                        this);
    buttons->addWidget(add);
    buttons->addWidget(remove);
    buttons->addWidget(m_help, 1);
    buttons->addWidget(apply);
    layout->addLayout(buttons);

    connect(add, &QPushButton::clicked, this, [this] {
        AddRow({QStringLiteral("Math%1").arg(m_table->rowCount() + 1), QString(), QString()});
        m_table->setCurrentCell(m_table->rowCount() - 1, kFormula);
        m_table->editItem(m_table->item(m_table->rowCount() - 1, kFormula));
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        if (m_table->currentRow() >= 0) m_table->removeRow(m_table->currentRow());
    });
    connect(apply, &QPushButton::clicked, this, &MathPanel::Apply);
}

void MathPanel::AddRow(const MathChannel& channel) {
    const int row = m_table->rowCount();
    m_table->insertRow(row);
    m_table->setItem(row, kName, new QTableWidgetItem(channel.name));
    m_table->setItem(row, kUnit, new QTableWidgetItem(channel.unit));
    m_table->setItem(row, kFormula, new QTableWidgetItem(channel.formula));
    auto* problem = new QTableWidgetItem;
    problem->setFlags(Qt::ItemIsEnabled);
    problem->setForeground(QColor(190, 20, 20));
    m_table->setItem(row, kProblem, problem);
}

void MathPanel::SetChannels(const std::vector<MathChannel>& channels) {
    m_table->setRowCount(0);
    for (const MathChannel& c : channels) AddRow(c);
}

std::vector<MathChannel> MathPanel::Channels() const {
    std::vector<MathChannel> out;
    auto text = [this](int row, int column) {
        const QTableWidgetItem* item = m_table->item(row, column);
        return item ? item->text().trimmed() : QString();
    };
    for (int r = 0; r < m_table->rowCount(); ++r)
        out.push_back({text(r, kName), text(r, kUnit), text(r, kFormula)});
    return out;
}

void MathPanel::ShowErrors(const std::vector<ExpressionError>& errors) {
    for (int r = 0; r < m_table->rowCount(); ++r) {
        QTableWidgetItem* item = m_table->item(r, kProblem);
        const QString text = r < static_cast<int>(errors.size())
                                 ? ErrorText(errors[static_cast<std::size_t>(r)])
                                 : QString();
        item->setText(text);
        item->setToolTip(text);
    }
}

void MathPanel::Apply() {
    emit applied(Channels());
}

}  // namespace quarn
