#include "viewer/ViewerDyno.h"

#include <QFileInfo>
#include <QVBoxLayout>

#include "dyno/DynoView.h"
#include "viewer/LogTable.h"

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
    // The dyno's columns by the names the viewer gives its channels.
    auto column = [&](const char* name) -> const std::vector<float>& {
        return t.Column(ViewerChannelId(QString::fromLatin1(name)));
    };
    input.Record.assign(t.Records().begin(), t.Records().end());
    input.Seconds.resize(t.Rows());
    for (std::size_t i = 0; i < t.Rows(); ++i) input.Seconds[i] = t.SecondsAt(i);
    input.Rpm = column("RPM");
    input.TpsVolts = column("TPS");
    input.Mph = column("MPH");
    input.BapPressure = column("BAP");
    input.ActF = column("ACT");
    input.VssPeriod = column("VssPeriod");
    input.VssPeriodPrev = column("VssPeriodPrev");
    input.AccelInterval = column("AccelInterval");
    input.warmUp = t.WarmUpRows();
    m_view->SetInput(std::move(input), QFileInfo(t.Path()).fileName(), t.Start());
}

}  // namespace quarn
