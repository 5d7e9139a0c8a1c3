#include "about/AboutBox.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QPushButton>

#include "Version.h"
#include "about/Browser.h"
#include "widgets/OpenDialogs.h"

namespace quarn {
namespace {

constexpr int kTextWidth = 330;
constexpr int kIconSize = 48;

std::unique_ptr<Browser> OwnBrowser(Browser* given) {
    return given ? nullptr : std::make_unique<DesktopBrowser>();
}

QLabel* AddLabel(QWidget* parent, const char* name, const QString& text) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setWordWrap(true);
    label->setFixedWidth(kTextWidth);
    return label;
}

}  // namespace

AboutBox::AboutBox(QWidget* parent, Browser* browser)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::CustomizeWindowHint),
      m_ownBrowser(OwnBrowser(browser)),
      m_browser(browser ? *browser : *m_ownBrowser) {
    setObjectName(QStringLiteral("AboutBox"));
    setWindowTitle(QStringLiteral("About QUARN"));
    QFont dialogFont(QStringLiteral("Liberation Sans"));
    dialogFont.setPixelSize(12);
    setFont(dialogFont);

    auto* picIcon = new QLabel(this);
    picIcon->setObjectName(QStringLiteral("picIcon"));
    const QPixmap icon(QStringLiteral(":/about/quarn-dash.png"));
    picIcon->setPixmap(
        icon.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    picIcon->setFixedSize(kIconSize, kIconSize);

    m_lblVersion = AddLabel(this, "lblVersion",
                            QStringLiteral("Version %1.%2.%3")
                                .arg(kVersionMajor)
                                .arg(kVersionMinor)
                                .arg(kVersionPatch));
    QFont versionFont = dialogFont;
    versionFont.setBold(true);
    m_lblVersion->setFont(versionFont);

    auto* lblDescription = AddLabel(
        this, "lblDescription",
        QStringLiteral("Visit Vorlan Systems at %1 for software updates, product upgrades, the "
                       "support forum and more information.")
            .arg(QLatin1String(kMakerAddress)));

    auto* line1 = new QFrame(this);
    line1->setObjectName(QStringLiteral("Line1"));
    line1->setFrameShape(QFrame::HLine);
    line1->setFrameShadow(QFrame::Sunken);

    m_lblDisclaimer = AddLabel(
        this, "lblDisclaimer",
        QStringLiteral("This program is designed to communicate with the Vorlan Systems Quarn-IV "
                       "Real-Time Data-Logger for the collection and analysis of Ford EEC-IV "
                       "factory fuel injection signals present on EEC-IV equipped vehicles."));

    m_visitweb = new QPushButton(
        QStringLiteral("Launch default browser and visit Vorlan Systems Now!"), this);
    m_visitweb->setObjectName(QStringLiteral("visitweb"));
    m_visitweb->setAutoDefault(false);
    connect(m_visitweb, &QPushButton::clicked, this, &AboutBox::visitweb_Click);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    m_cmdOK->setMinimumWidth(80);
    connect(m_cmdOK, &QPushButton::clicked, this, &QWidget::close);

    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(16, 16, 16, 12);
    grid->setHorizontalSpacing(14);
    grid->setVerticalSpacing(10);
    grid->addWidget(picIcon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(m_lblVersion, 0, 1);
    grid->addWidget(lblDescription, 1, 1);
    grid->addWidget(line1, 2, 0, 1, 2);
    grid->addWidget(m_lblDisclaimer, 3, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_visitweb);
    buttons->addStretch();
    buttons->addWidget(m_cmdOK);
    grid->addLayout(buttons, 4, 0, 1, 2);
    grid->setSizeConstraint(QLayout::SetFixedSize);
    m_cmdOK->setFocus();
}

AboutBox::~AboutBox() = default;

void AboutBox::visitweb_Click() {
    // The desktop is asked for its browser directly: nothing is written to
    // disk on the way.
    const QString program = m_browser.Find().trimmed();
    if (program.isEmpty()) {
        ShowWarning(QStringLiteral("Browser Not Found"),
                    QStringLiteral("Could not find associated Browser"));
        return;
    }
    if (!m_browser.Launch(program, QLatin1String(kMakerAddress)))
        ShowWarning(QStringLiteral("URL Failed"), QStringLiteral("Web Page not Opened"));
}

void AboutBox::ShowWarning(const QString& title, const QString& text) {
    // Opened over the box, not run in a nested loop, which would hold the
    // monitoring loop further down the stack. A child of the box: closing
    // the box takes the warning with it.
    OpenMessage(this, QMessageBox::Warning, title, text);
}

}  // namespace quarn
