#include "diagnostics/SelfTester.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QTextCursor>

#include "widgets/OpenDialogs.h"
#include "widgets/Twips.h"
#include "diagnostics/SelfTestReport.h"

namespace quarn {

// A filled circle standing for the check-engine lamp, drawn as large as the
// smaller side of its box allows and centred in it.
class LampShape final : public QWidget {
public:
    explicit LampShape(QWidget* parent) : QWidget(parent) {}

    void SetColour(const QColor& colour) {
        if (colour == m_colour) return;  // set at every lamp query
        m_colour = colour;
        update();
    }
    const QColor& colour() const { return m_colour; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::black, 1));
        p.setBrush(m_colour);
        const qreal side = std::min(width(), height()) - 1;
        QRectF circle(0, 0, side, side);
        circle.moveCenter(QRectF(rect()).center());
        p.drawEllipse(circle);
    }

private:
    QColor m_colour = SelfTester::kLampDark;
};

const QColor SelfTester::kLampDark{128, 128, 128};
const QColor SelfTester::kLampLit{255, 0, 0};

namespace {

constexpr int kClientWidth = 8820;
constexpr int kClientHeight = 4620;
constexpr std::array<int, 3> kDigitLefts{240, 600, 960};

}  // namespace

SelfTester::SelfTester(Link& link, QWidget* parent)
    : QWidget(parent,
              Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      m_test(link, *this) {
    setObjectName(QStringLiteral("SelfTester"));
    setWindowTitle(QStringLiteral("Self Test Tool"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(Twips(kClientWidth), Twips(kClientHeight));
    // The layout was made for an 8 pt sans serif; the status line only just
    // holds its longest text in a font of those widths.
    QFont windowFont(QStringLiteral("Liberation Sans"));
    windowFont.setPixelSize(11);
    setFont(windowFont);

    m_mil = new LampShape(this);
    m_mil->setObjectName(QStringLiteral("MIL"));
    m_mil->setGeometry(TwipsRect(240, 120, 975, 855));

    auto* lampCaption = new QLabel(QStringLiteral("Check Engine Light"), this);
    lampCaption->setObjectName(QStringLiteral("Label2"));
    // Centred under the lamp, but as wide as the column of
    // buttons allows: "Engine Light" only just fits the lamp's width, and
    // any wider face cuts it to "Engine Ligh".
    lampCaption->setGeometry(TwipsRect(120, 1080, 1215, 495));
    lampCaption->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    lampCaption->setWordWrap(true);

    // Verdana's figures are 0.64 em wide; its stand-ins (DejaVu Sans Bold)
    // are wider, and at 24 px their ink reached the edges of a 17-pixel
    // box. Each box is 2 pixels wider than the 17 it had, on the same centre,
    // and the figures a size smaller.
    QFont digitFont(QStringLiteral("Verdana"));
    digitFont.setBold(true);
    digitFont.setPixelSize(22);
    for (std::size_t i = 0; i < m_digits.size(); ++i) {
        auto* d = new QLabel(QStringLiteral("0"), this);
        d->setObjectName(QStringLiteral("D%1").arg(i + 1));
        d->setGeometry(TwipsRect(kDigitLefts[i] - 15, 1680, 285, 495));
        d->setAlignment(Qt::AlignCenter);
        d->setFont(digitFont);
        d->setStyleSheet(QStringLiteral("background: black; color: rgb(0, 255, 0);"));
        m_digits[i] = d;
    }

    m_saveReport = new QPushButton(QStringLiteral("Save Report..."), this);
    m_saveReport->setObjectName(QStringLiteral("cmdSaveReport"));
    m_saveReport->setGeometry(TwipsRect(120, 2760, 1335, 495));
    m_saveReport->setEnabled(false);
    m_saveReport->setToolTip(
        QStringLiteral("Save the codes and the lamp timeline of the last test as a text file"));
    connect(m_saveReport, &QPushButton::clicked, this, &SelfTester::cmdSaveReport_Click);

    m_stGo = new QPushButton(QStringLiteral("Start Self Test"), this);
    m_stGo->setObjectName(QStringLiteral("STGo"));
    m_stGo->setGeometry(TwipsRect(120, 3360, 1335, 495));
    connect(m_stGo, &QPushButton::clicked, this, &SelfTester::STGo_Click);

    m_stStop = new QPushButton(QStringLiteral("Stop Self Test"), this);
    m_stStop->setObjectName(QStringLiteral("STStop"));
    m_stStop->setGeometry(TwipsRect(120, 3960, 1335, 495));
    m_stStop->setEnabled(false);
    connect(m_stStop, &QPushButton::clicked, this, &SelfTester::STStop_Click);

    m_status = new QLabel(QString::fromLatin1(SelfTest::kReadyText), this);
    m_status->setObjectName(QStringLiteral("Status"));
    m_status->setGeometry(TwipsRect(1560, 240, 7455, 255));

    m_codeList = new QPlainTextEdit(this);
    m_codeList->setObjectName(QStringLiteral("CodeList"));
    m_codeList->setGeometry(TwipsRect(1560, 720, 7215, 3735));
    // Long meanings wrap: scrolled sideways to the end of one, the list hid
    // every code number.
    m_codeList->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    m_codeList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_codeList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A record of what the engine computer reported: it can be selected and
    // copied, not typed over.
    m_codeList->setReadOnly(true);

    setTabOrder(m_stGo, m_stStop);
    setTabOrder(m_stStop, m_saveReport);
    setTabOrder(m_saveReport, m_codeList);
    m_stGo->setFocus();
}

void SelfTester::STGo_Click() {
    m_test.Start();
}

void SelfTester::RunTest(const std::function<void()>& run) {
    run();
    // Closed during the test: now that it has returned the window can go,
    // unless it was shown again meanwhile.
    if (m_closeWhenDone && !m_test.InProgress()) {
        m_closeWhenDone = false;
        if (!isVisible()) deleteLater();
    }
}

void SelfTester::STStop_Click() {
    m_test.Stop();
}

void SelfTester::closeEvent(QCloseEvent* event) {
    if (!m_test.InProgress()) {
        // Called off before it began: the prompt may already be answered and
        // the run queued, and a run must never start in a window on its way
        // out.
        if (m_test.Prompting()) m_test.Stop();
        event->accept();
        return;
    }
    // The test's run is further up the stack and would return into a
    // destroyed window: stop it and go once it has wound down (RunTest).
    m_closeWhenDone = true;
    m_test.Stop();
    hide();
    event->ignore();
}

QColor SelfTester::lampColour() const {
    return m_mil->colour();
}

void SelfTester::ShowPrompt(const QString& text, const QString& note,
                            std::function<void(bool go)> answered) {
    // Opened, not run: the user takes seconds to cycle the ignition, and a
    // nested loop would hold the monitoring loop all that time. A child of
    // this window, its answer queued after the box has gone (the test yields
    // for a long time and must not do so inside the box's handlers), so
    // closing the window before the answer takes both along. Esc is Cancel.
    m_prompt = OpenChoice(this, QMessageBox::NoIcon, QCoreApplication::applicationName(), text,
                          QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Ok,
                          [this, answered = std::move(answered)](QMessageBox::StandardButton b) {
                              RunTest([&] { answered(b == QMessageBox::Ok); });
                          });
    m_prompt->setObjectName(QStringLiteral("IgnitionPrompt"));
    m_prompt->setInformativeText(note);
}

void SelfTester::SetStatus(const QString& text) {
    m_status->setText(text);
}

void SelfTester::SetLamp(bool lit) {
    m_mil->SetColour(lit ? kLampLit : kLampDark);
}

void SelfTester::SetDigits(const std::array<char, 3>& digits) {
    for (std::size_t i = 0; i < m_digits.size(); ++i)
        m_digits[i]->setText(QString(QChar::fromLatin1(digits[i])));
}

void SelfTester::ClearCodeList() {
    m_codeList->clear();
}

void SelfTester::SetCodeList(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    if (shown.endsWith(QLatin1Char('\n'))) shown.chop(1);
    m_codeList->setPlainText(shown);
    // The newest line in view, as a growing list keeps it.
    m_codeList->moveCursor(QTextCursor::End);
    m_codeList->ensureCursorVisible();
}

void SelfTester::SetStartEnabled(bool enabled) {
    m_stGo->setEnabled(enabled);
}

void SelfTester::SetStopEnabled(bool enabled) {
    m_stStop->setEnabled(enabled);
}

void SelfTester::SetReportEnabled(bool enabled) {
    m_saveReport->setEnabled(enabled);
}

QString SelfTester::SuggestedReportName() const {
    const QDateTime at = m_test.Record().startedAt;
    const QString stamp = (at.isValid() ? at : QDateTime::currentDateTime())
                              .toString(QStringLiteral("yyyy-MM-dd-HHmm"));
    return QDir::current().filePath(QStringLiteral("selftest-%1.txt").arg(stamp));
}

void SelfTester::cmdSaveReport_Click() {
    const QString suggested = SuggestedReportName();
    if (m_chooseReportPath) {
        SaveReportTo(m_chooseReportPath(suggested));
        return;
    }
    OpenSaveDialog(this, QStringLiteral("Save Self Test Report"), suggested,
                   QStringLiteral("Text files (*.txt);;All files (*)"),
                   [this](const QString& path) { SaveReportTo(path); });
}

void SelfTester::SaveReportTo(const QString& path) {
    if (path.isEmpty()) return;  // cancelled
    QString error;
    if (SaveReport(path, &error)) return;
    OpenMessage(this, QMessageBox::Warning, QCoreApplication::applicationName(),
                QStringLiteral("The report could not be saved to %1.\n%2")
                    .arg(QDir::toNativeSeparators(path), error));
}

bool SelfTester::SaveReport(const QString& path, QString* error) const {
    // Written aside and renamed into place, so a failed save never leaves a
    // half report under the chosen name.
    QSaveFile file(path);
    const QByteArray text = SelfTestReportText(m_test.Record()).toUtf8();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text) || file.write(text) != text.size() ||
        !file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}

}  // namespace quarn
