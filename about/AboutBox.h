#pragma once

#include <QDialog>

#include <memory>

class QLabel;
class QPushButton;

namespace quarn {

class Browser;

// The about box: the program's icon and version, what the program is for,
// and a button that opens the maker's web site in the default browser.
class AboutBox : public QDialog {
    Q_OBJECT
public:
    static constexpr const char* kMakerAddress = "http://www.vorlansystems.com";

    // browser null: the desktop's own. A given browser must outlive the box.
    explicit AboutBox(QWidget* parent = nullptr, Browser* browser = nullptr);
    ~AboutBox() override;

    // Opens the maker's web site; a missing browser or a failed start is
    // told in a message box and the about box stays open.
    void visitweb_Click();

    QLabel* lblVersion() const { return m_lblVersion; }
    QLabel* lblDisclaimer() const { return m_lblDisclaimer; }
    QPushButton* visitweb() const { return m_visitweb; }
    QPushButton* cmdOK() const { return m_cmdOK; }

private:
    void ShowWarning(const QString& title, const QString& text);

    std::unique_ptr<Browser> m_ownBrowser;
    Browser& m_browser;
    QLabel* m_lblVersion = nullptr;
    QLabel* m_lblDisclaimer = nullptr;
    QPushButton* m_visitweb = nullptr;
    QPushButton* m_cmdOK = nullptr;
};

}  // namespace quarn
