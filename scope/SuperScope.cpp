#include "scope/SuperScope.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>

#include <algorithm>
#include <array>
#include <optional>

#include "decode/ScopeFeed.h"
#include "scope/StripChart.h"

namespace quarn {
namespace {

// How the chart is scaled for each channel. The low end is 1 where a value of
// 0 means "stopped" and is not worth a line along the bottom edge.
struct ChannelScale {
    QLatin1String name;
    double low;
    double high;
    int spanSeconds;               // chart setting 1
    std::optional<int> divisions;  // chart setting 2; none: left as it was
};

constexpr std::array<ChannelScale, kScopeChannelNames.size()> kScales{{
    {QLatin1String("RPM"), 1, 8000, 15, 5},
    {QLatin1String("MPH"), 1, 220, 20, 5},
    {QLatin1String("HEGOL"), 0, 1, 10, 0},
    {QLatin1String("HEGOR"), 0, 1, 10, 0},
    {QLatin1String("INJDUTY"), 0, 100, 10, 5},
    {QLatin1String("RWHP"), 1, 1000, 10, 5},
    {QLatin1String("RWTQ"), 1, 1000, 10, 5},
    {QLatin1String("MAF"), 0, 5, 20, 5},
    {QLatin1String("TPS"), 0, 5, 10, 10},
    {QLatin1String("WIDEO2"), 9, 20, 10, 5},
    {QLatin1String("EGTR"), 0, 2000, 10, 5},
    {QLatin1String("EGTL"), 0, 2000, 10, 5},
    {QLatin1String("ECT"), 1, 300, 10, std::nullopt},
    {QLatin1String("ACT"), 1, 300, 10, std::nullopt},
    {QLatin1String("BOOST"), 0, 20, 10, 5},
    {QLatin1String("ADVANCE"), -20, 60, 10, 5},
}};

const ChannelScale* ScaleOf(const QString& name) {
    const auto it = std::find_if(kScales.begin(), kScales.end(), [&name](const ChannelScale& s) {
        return name.compare(s.name, Qt::CaseSensitive) == 0;
    });
    return it == kScales.end() ? nullptr : &*it;
}

}  // namespace

SuperScope::SuperScope(QWidget* parent) : QWidget(parent) {
    // Sizable, with the title and the close button but no minimise or
    // maximise button.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setObjectName(QStringLiteral("SuperScope"));
    setWindowTitle(QStringLiteral("Quarn_Scope"));
    // The chart's own ground: the strips the layout leaves beside and under
    // the chart then read as part of it.
    setAutoFillBackground(true);
    QPalette ground = palette();
    ground.setColor(QPalette::Window, Qt::black);
    setPalette(ground);

    m_selection = new QComboBox(this);
    m_selection->setObjectName(QStringLiteral("Selection"));
    m_selection->setGeometry(TwipsRect(0, 0, 1575, 315));
    for (QLatin1String name : kScopeChannelNames) m_selection->addItem(name);
    // activated, not currentIndexChanged: picking the channel already shown
    // restarts the chart too, and setting the index from code does not.
    connect(m_selection, &QComboBox::activated, this, [this] { Selection_Click(); });
    connect(m_selection, &QComboBox::currentTextChanged, this,
            [this](const QString& text) { m_channel = ScopeChannelIndex(text); });

    m_scope = new StripChart(this);
    m_scope->setGeometry(TwipsRect(0, 360, 6615, 5415));

    setMinimumSize(kMinOuterSide, kMinOuterSide);
    resize(kInitialClientSize);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    if (screen) move(screen->availableGeometry().center() - rect().center());

    m_selection->setCurrentIndex(0);
    Selection_Click();
}

QString SuperScope::SelectionText() const {
    return m_selection->currentText();
}

void SuperScope::Selection_Click() {
    ApplySelection(SelectionText());
}

void SuperScope::ApplySelection(const QString& name) {
    const ChannelScale* scale = ScaleOf(name);
    if (!scale) return;
    m_scope->SetRange(scale->low, scale->high);
    m_scope->SetSpanSeconds(scale->spanSeconds);
    if (scale->divisions) m_scope->SetDivisions(*scale->divisions);
    m_scope->Restart();
}

QRect SuperScope::ChartRectFor(QSize outerSize, QSize clientSize) {
    const int width = std::min(outerSize.width() - kChartAllowance.width(), clientSize.width());
    const int height =
        std::min(outerSize.height() - kChartAllowance.height(), clientSize.height() - kChartTop);
    return {0, kChartTop, std::max(0, width), std::max(0, height)};
}

void SuperScope::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    // The outer size is the client size plus whatever frame the window
    // manager draws (none before the window is mapped). The smallest outer
    // size becomes a smallest client size, so the window system refuses a
    // smaller window and a resize from code snaps back at once.
    const QSize outer = frameGeometry().size();
    const QSize frame = outer - size();
    setMinimumSize(std::max(0, kMinOuterSide - frame.width()),
                   std::max(0, kMinOuterSide - frame.height()));
    m_scope->setGeometry(ChartRectFor(outer, size()));
}

void SuperScope::closeEvent(QCloseEvent* event) {
    // Hidden, not deleted: this handler runs inside a wait of the monitoring
    // loop, and a deferred delete posted there would wait for the loop to
    // end, which may be never. The slot replaces the window at its next use,
    // outside any handler of the window.
    m_closed = true;
    event->accept();
}

}  // namespace quarn
