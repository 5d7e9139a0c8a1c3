#pragma once

#include <QWidget>

namespace quarn {

// The start-up window: logo, product, platform line, purpose and maker, on a
// white ground without a title bar. Start-up hides it once the dashboard
// stands.
class Splash : public QWidget {
    Q_OBJECT
public:
    explicit Splash(QWidget* parent = nullptr);
};

}  // namespace quarn
