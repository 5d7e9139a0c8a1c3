#pragma once

#include <QWidget>

class QCheckBox;

namespace quarn {

// The options of the logger box's feature connector: wide-band oxygen
// sensor, exhaust gas temperature, manifold pressure, knock sensor and
// trigger input. The ticks only live while the window is open: nothing
// reads them, nothing is sent to the box or saved, and closing the window
// destroys it, so the next one starts with every box cleared.
class QuarnFeatures : public QWidget {
    Q_OBJECT
public:
    explicit QuarnFeatures(QWidget* parent = nullptr);

    QCheckBox* MAPEn() const { return m_mapEn; }
    QCheckBox* WideBandEn() const { return m_wideBandEn; }
    QCheckBox* EGTen() const { return m_egtEn; }
    QCheckBox* KnockEn() const { return m_knockEn; }
    QCheckBox* TriggerEn() const { return m_triggerEn; }

private:
    QCheckBox* m_mapEn = nullptr;
    QCheckBox* m_wideBandEn = nullptr;
    QCheckBox* m_egtEn = nullptr;
    QCheckBox* m_knockEn = nullptr;
    QCheckBox* m_triggerEn = nullptr;
};

}  // namespace quarn
