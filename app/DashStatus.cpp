#include "app/DashStatus.h"

#include <QLabel>
#include <QPainter>
#include <QStatusBar>

#include "widgets/Twips.h"

namespace quarn {

// The link lamp: a filled circle whose colour tells the link state.
class ComStatLamp final : public QWidget {
public:
    explicit ComStatLamp(QWidget* parent) : QWidget(parent) {
        setObjectName(QStringLiteral("comstat"));
    }
    void SetColour(QColor colour) {
        if (colour == m_colour) return;
        m_colour = colour;
        update();
    }
    QColor colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1));
        // Dimmed in the night scheme; the hue still tells the link state.
        p.setBrush(property("dim").toBool() ? m_colour.darker(250) : m_colour);
        p.drawEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    }

private:
    // Grey until a connection says otherwise: no port, no link.
    QColor m_colour{64, 64, 64};
};

namespace {

constexpr int kClientHeight = 8280;
constexpr int kStatusBarTop = 8025;
constexpr int kPanelWidth = 1440;

QColor LampColour(std::int16_t code) {
    switch (code) {
        case LinkStatus::kLampGrey:
            return QColor(64, 64, 64);
        case LinkStatus::kLampGreen:
            return QColor(0, 255, 0);
        case LinkStatus::kLampYellow:
            return QColor(255, 255, 0);
        case LinkStatus::kLampRed:
            return QColor(255, 0, 0);
        default:
            return QColor();
    }
}

}  // namespace

void DashStatus::Build(QStatusBar* bar, QWidget* ground) {
    bar->setObjectName(QStringLiteral("StatusBar1"));
    bar->setSizeGripEnabled(false);
    bar->setFixedHeight(Twips(kClientHeight - kStatusBarTop) + 3);
    bar->setStyleSheet(QStringLiteral("QStatusBar::item { border: none; }"));
    QFont f(QStringLiteral("Liberation Sans"));
    f.setPixelSize(11);
    for (int i = 0; i < kPanels; ++i) {
        auto* panel = new QLabel(bar);
        panel->setObjectName(QStringLiteral("Panel%1").arg(i + 1));
        panel->setFixedWidth(Twips(kPanelWidth));
        panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        panel->setFont(f);
        bar->addWidget(panel);
        m_panels[i] = panel;
    }
    // The alarms now on: the worst first, in the colour of its level.
    m_alarmPanel = new QLabel(bar);
    m_alarmPanel->setObjectName(QStringLiteral("AlarmPanel"));
    m_alarmPanel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    m_alarmPanel->setFont(f);
    m_alarmPanel->setMinimumWidth(Twips(kPanelWidth));
    bar->addWidget(m_alarmPanel, 1);
    m_lamp = new ComStatLamp(ground);
}

void DashStatus::SetPanelText(int panel, const QString& text) {
    if (panel < 1 || panel > kPanels) return;
    m_panels[panel - 1]->setText(text);
}

QString DashStatus::PanelText(int panel) const {
    if (panel < 1 || panel > kPanels) return {};
    return m_panels[panel - 1]->text();
}

void DashStatus::SetComStat(std::int16_t code) {
    const QColor colour = LampColour(code);
    if (colour.isValid()) m_lamp->SetColour(colour);
}

void DashStatus::ShowLinkNotice(const QString& text) {
    // Panels 4 and 5 hold nothing else; a notice takes the room of both.
    QLabel* panel = m_panels[3];
    panel->setText(text);
    panel->setToolTip(text);
    panel->setFixedWidth(text.isEmpty() ? Twips(kPanelWidth) : 2 * Twips(kPanelWidth) + 80);
    ArrangeNoticePanels();
}

void DashStatus::SetAlarmShowing(bool showing) {
    m_alarmShowing = showing;
    ArrangeNoticePanels();
}

void DashStatus::ArrangeNoticePanels() {
    const bool notice = !m_panels[3]->text().isEmpty();
    m_panels[3]->setVisible(notice || !m_alarmShowing);
    m_panels[4]->setVisible(!notice && !m_alarmShowing);
}

QColor DashStatus::lampColour() const {
    return m_lamp->colour();
}

QWidget* DashStatus::lamp() const { return m_lamp; }

}  // namespace quarn
