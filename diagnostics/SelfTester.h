#pragma once

#include <QColor>
#include <QMessageBox>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>

#include "diagnostics/SelfTest.h"

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace quarn {

class Link;
class LampShape;

// The "Self Test Tool" window: runs the engine computer's self test through
// the logger box and lists the trouble codes it flashes, with their meanings.
// The check-engine lamp, the three digits of the code being read, the Start
// and Stop buttons, a status line, the code list, and Save Report for a text
// record of the run. A fixed-size tool window; closing it destroys it.
class SelfTester : public QWidget, private SelfTestView {
    Q_OBJECT
public:
    static const QColor kLampDark;
    static const QColor kLampLit;

    explicit SelfTester(Link& link, QWidget* parent = nullptr);

    // Start Self Test: opens the ignition prompt; the test runs once it is
    // answered.
    void STGo_Click();
    void STStop_Click();
    // Asks for a file name and writes the report of the last test there.
    void cmdSaveReport_Click();
    // Writes the report to path (nothing for an empty one); a failure is
    // told in a message box.
    void SaveReportTo(const QString& path);
    // Writes the report of the last test to path; on failure returns false
    // and says why in error.
    bool SaveReport(const QString& path, QString* error = nullptr) const;

    // Where Save Report asks for the file name; tests answer it themselves.
    void SetReportPathChooser(std::function<QString(const QString& suggested)> chooser) {
        m_chooseReportPath = std::move(chooser);
    }

    SelfTest& selfTest() { return m_test; }
    QPushButton* startButton() const { return m_stGo; }
    QPushButton* stopButton() const { return m_stStop; }
    QPushButton* reportButton() const { return m_saveReport; }
    // The ignition prompt while it is open.
    QMessageBox* prompt() const { return m_prompt; }
    QLabel* statusLabel() const { return m_status; }
    QLabel* digit(int index) const { return m_digits.at(static_cast<std::size_t>(index)); }
    QPlainTextEdit* codeList() const { return m_codeList; }
    QColor lampColour() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // SelfTestView
    void ShowPrompt(const QString& text, const QString& note,
                    std::function<void(bool go)> answered) override;
    void SetStatus(const QString& text) override;
    void SetLamp(bool lit) override;
    void SetDigits(const std::array<char, 3>& digits) override;
    void ClearCodeList() override;
    void SetCodeList(const QString& text) override;
    void SetStartEnabled(bool enabled) override;
    void SetStopEnabled(bool enabled) override;
    void SetReportEnabled(bool enabled) override;

    QString SuggestedReportName() const;
    // Runs the test (run) and, if the window was closed meanwhile, lets it
    // go once the test has returned.
    void RunTest(const std::function<void()>& run);

    SelfTest m_test;
    LampShape* m_mil = nullptr;
    std::array<QLabel*, 3> m_digits{};
    QPushButton* m_stGo = nullptr;
    QPushButton* m_stStop = nullptr;
    QPushButton* m_saveReport = nullptr;
    QLabel* m_status = nullptr;
    QPlainTextEdit* m_codeList = nullptr;
    std::function<QString(const QString&)> m_chooseReportPath;
    QPointer<QMessageBox> m_prompt;
    // Closed while a test ran: the window is hidden at once and destroyed
    // once the test has returned, never under its feet. Closed while only
    // the prompt is open, it goes at once, and the prompt with its
    // continuation goes with it.
    bool m_closeWhenDone = false;
};

}  // namespace quarn
