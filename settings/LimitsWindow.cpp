#include "settings/LimitsWindow.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "settings/VehicleLimitKeys.h"
#include "widgets/ScreenRoom.h"

namespace quarn {
namespace {

constexpr const char* kRefusedStyle =
    "QLineEdit { border: 1px solid #d00000; background: #ffe0e0; }";
constexpr std::array<const char*, 4> kHeadings{"Warn low", "Warn high", "Danger low",
                                               "Danger high"};
constexpr std::array<const char*, 4> kNames{"warnLow", "warnHigh", "dangerLow", "dangerHigh"};

QString BoxText(const std::optional<double>& limit) {
    return limit ? LimitText(limit) : QString();
}

}  // namespace

LimitsWindow::LimitsWindow(const AlarmLimitSet& inForce, QWidget* parent, QSize room)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_limits(inForce) {
    setObjectName(QStringLiteral("Limits"));
    setWindowTitle(QStringLiteral("Alarm Limits"));
    QFont dialogFont(QStringLiteral("Liberation Sans"));
    dialogFont.setPixelSize(11);
    setFont(dialogFont);

    auto* page = new QWidget(this);
    page->setObjectName(QStringLiteral("LimitsPage"));
    auto* grid = new QGridLayout(page);
    // The margins of a window's own layout, which the grid was before it
    // moved onto the page.
    const int margin = style()->pixelMetric(QStyle::PM_LayoutLeftMargin, nullptr, this);
    grid->setContentsMargins(margin, margin, margin, margin);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(3);
    for (std::size_t k = 0; k < kHeadings.size(); ++k) {
        auto* heading = new QLabel(QString::fromLatin1(kHeadings[k]), page);
        heading->setAlignment(Qt::AlignCenter);
        grid->addWidget(heading, 0, static_cast<int>(k) + 1);
    }
    for (int c = 0; c < kAlarmChannels; ++c) {
        const AlarmChannel& channel = AlarmChannels()[static_cast<std::size_t>(c)];
        QString name = QString::fromUtf8(channel.label);
        if (*channel.unit) name += QStringLiteral(" (%1)").arg(QString::fromUtf8(channel.unit));
        grid->addWidget(new QLabel(name, page), c + 1, 0);
        for (LimitKind kind : kLimitKinds) {
            auto* box = new QLineEdit(page);
            box->setObjectName(QStringLiteral("%1_%2").arg(QLatin1String(channel.key),
                                                           QLatin1String(kNames[static_cast<std::size_t>(kind)])));
            box->setFixedWidth(64);
            box->setFont(font());
            box->setPlaceholderText(QStringLiteral("off"));
            box->setToolTip(QStringLiteral("A number, or empty for no limit"));
            m_boxes[Index(c, kind)] = box;
            grid->addWidget(box, c + 1, static_cast<int>(kind) + 1);
            connect(box, &QLineEdit::editingFinished, this, [this, c, kind] { ApplyBox(c, kind); });
        }
        auto* hint = new QLabel(page);
        hint->setObjectName(QStringLiteral("%1Hint").arg(QLatin1String(channel.key)));
        hint->setStyleSheet(QStringLiteral("color: #d00000;"));
        hint->setMinimumWidth(220);
        grid->addWidget(hint, c + 1, 5);
        m_hints[static_cast<std::size_t>(c)] = hint;
    }
    auto* note = new QLabel(
        QStringLiteral("An alarm starts when a value passes a limit. The limits are kept "
                       "with the car: save it in Session Properties."),
        page);
    note->setWordWrap(true);
    grid->addWidget(note, kAlarmChannels + 1, 0, 1, 5);
    auto* defaults = new QPushButton(QStringLiteral("Defaults"), page);
    defaults->setObjectName(QStringLiteral("cmdDefaults"));
    defaults->setToolTip(QStringLiteral("Every dial back to the limits of its coloured bands"));
    connect(defaults, &QPushButton::clicked, this, &LimitsWindow::RestoreDefaults);
    grid->addWidget(defaults, kAlarmChannels + 1, 5, Qt::AlignRight);
    ShowLimits(inForce);
    SetPage(*this, page, room);
}

LimitsWindow::~LimitsWindow() {
    // A box that has the focus finishes its editing as the window's widgets
    // go, after this part of the window is gone: it must not reach it.
    for (QLineEdit* box : m_boxes)
        if (box) box->disconnect(this);
}

QLineEdit* LimitsWindow::box(int channel, LimitKind kind) const {
    return m_boxes.at(Index(channel, kind));
}

bool LimitsWindow::refused(int channel, LimitKind kind) const {
    return !m_refusals.at(Index(channel, kind)).isEmpty();
}

void LimitsWindow::ShowLimits(const AlarmLimitSet& limits) {
    m_limits = limits;
    for (int c = 0; c < kAlarmChannels; ++c) {
        for (LimitKind kind : kLimitKinds) {
            QLineEdit* b = box(c, kind);
            b->setText(BoxText(LimitOf(limits[static_cast<std::size_t>(c)], kind)));
            b->setStyleSheet(QString());
            m_refusals[Index(c, kind)].clear();
        }
        ShowRowHint(c);
    }
}

void LimitsWindow::RestoreDefaults() {
    ShowLimits(DefaultAlarmLimits());
    if (onChanged) onChanged(m_limits);
}

void LimitsWindow::ApplyBox(int channel, LimitKind kind) {
    const auto c = static_cast<std::size_t>(channel);
    QLineEdit* b = box(channel, kind);
    AlarmLimits candidate = m_limits[c];
    QString refusal;
    if (!ParseLimitText(b->text(), LimitOf(candidate, kind))) {
        refusal = QStringLiteral("\"%1\" is not a number.").arg(b->text().trimmed());
    } else {
        refusal = LimitsProblem(candidate);
    }
    m_refusals[Index(channel, kind)] = refusal;
    if (!refusal.isEmpty()) {
        const QString kept = LimitText(LimitOf(m_limits[c], kind));
        b->setStyleSheet(QLatin1String(kRefusedStyle));
        b->setToolTip(QStringLiteral("Refused. %1 %2 stays in use.").arg(refusal, kept));
        ShowRowHint(channel);
        return;
    }
    b->setStyleSheet(QString());
    b->setToolTip(QStringLiteral("A number, or empty for no limit"));
    const bool changed = !(candidate == m_limits[c]);
    m_limits[c] = candidate;
    // A box of the row refused for standing against this one may stand now.
    for (LimitKind other : kLimitKinds)
        if (other != kind && refused(channel, other)) ApplyBox(channel, other);
    ShowRowHint(channel);
    if (changed && onChanged) onChanged(m_limits);
}

void LimitsWindow::ShowRowHint(int channel) {
    QString text;
    for (LimitKind kind : kLimitKinds) {
        const QString& r = m_refusals[Index(channel, kind)];
        if (r.isEmpty()) continue;
        text = QStringLiteral("Refused: %1 stays in use")
                   .arg(LimitText(LimitOf(m_limits[static_cast<std::size_t>(channel)], kind)));
        m_hints[static_cast<std::size_t>(channel)]->setToolTip(box(channel, kind)->toolTip());
        break;
    }
    m_hints[static_cast<std::size_t>(channel)]->setText(text);
}

}  // namespace quarn
