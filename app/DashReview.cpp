// Reviewing logs without the box: the viewer opens first, and the dashboard
// (with its connection) only when the user asks for it.

#include <QTimer>

#include "app/SuperDash.h"
#include "link/QtSerialPort.h"
#include "logging/Logging.h"
#include "viewer/LogViewer.h"

namespace quarn {

void SuperDash::StartReview(const QString& file) {
    m_review = true;
    m_splashSeconds = 0;
    m_link.SetKeepPortOnError(true);
    // A range played from the viewer goes through the dashboard's conversion.
    m_conversion.InitTempTable();
    m_conversion.InitPressureTable();
    ShowLogViewer(file);
    m_viewerGone = connect(m_logViewer, &QObject::destroyed, this, [this] {
        if (!isVisible() && !(m_logging && m_logging->isVisible())) close();
    });
}

void SuperDash::OpenDashboard() {
    show();
    raise();
    activateWindow();
    if (!m_review) return;
    // Queued: the viewer's menu closes first, and the start-up's waits do
    // not run inside its handler.
    QTimer::singleShot(0, this, [this] {
        if (!m_loaded) StartUp(nullptr);
        else if (!m_monitor.Running()) GoLive();
    });
}

bool SuperDash::ViewerOpen() const {
    return m_logViewer && !m_logViewer->Closed();
}

bool SuperDash::KeepReviewing() {
    if (!m_review || !ViewerOpen()) return false;
    m_state.Monitoring = false;
    if (m_link.PortFailed()) {
        m_port->Close();
        m_status.SetPanelText(LinkStatus::kLinkPanel, QStringLiteral("COM Stopped"));
        m_status.SetComStat(LinkStatus::kLampRed);
    }
    return true;
}

}  // namespace quarn
