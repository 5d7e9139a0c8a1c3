#include "viewer/ViewerDyno.h"

#include <QFileInfo>
#include <QVBoxLayout>

#include <algorithm>

#include "dyno/DynoView.h"
#include "viewer/LogTable.h"
#include "viewer/TableDyno.h"

namespace quarn {

ViewerDyno::ViewerDyno(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("ViewerDyno"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new DynoView(this);
    layout->addWidget(m_view);
}

void ViewerDyno::SetTable(const LogTable* table, const DynoVehicle& vehicle,
                          const QString& carName, const QString& carDescription) {
    m_table = table;
    m_view->SetVehicle(vehicle, carName, carDescription);
    m_stale = true;
    m_filledRows = 0;
    if (isVisible()) Fill();
}

void ViewerDyno::DataGrew() {
    m_stale = true;
    if (isVisible()) Fill();
}

void ViewerDyno::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (m_stale) Fill();
}

void ViewerDyno::Fill() {
    m_stale = false;
    DynoInput input;
    if (!m_table) {
        m_view->SetInput(std::move(input), QString());
        return;
    }
    const LogTable& t = *m_table;
    if (m_filledRows == t.Rows() && m_filledRows > 0) return;
    m_filledRows = t.Rows();
    input = DynoInputOf(t);
    m_view->SetInput(std::move(input), QFileInfo(t.Path()).fileName(), t.Start());
}

}  // namespace quarn
