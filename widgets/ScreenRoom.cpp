#include "widgets/ScreenRoom.h"

#include <QGuiApplication>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QVBoxLayout>
#include <QWidget>

namespace quarn {

namespace {

// A window manager's frame and title bar.
constexpr QSize kWindowFrame(8, 36);

QSize ScrollBars(const QWidget& scroll) {
    const int bar = scroll.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, &scroll);
    return {bar, bar};
}

// What the page insists on: its fixed size, or its layout's minimum.
QSize Needs(const QWidget& page) {
    return page.minimumSize().expandedTo(page.minimumSizeHint());
}

}  // namespace

QSize ScreenRoom() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {};
    return screen->availableGeometry().size() - kWindowFrame;
}

QWidget* FitToRoom(QWidget* page, QSize room) {
    const QSize needs = Needs(*page);
    if (!room.isValid() || (needs.width() <= room.width() && needs.height() <= room.height()))
        return page;
    auto* scroll = new QScrollArea;
    scroll->setObjectName(page->objectName() + QStringLiteral("Scroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(page);
    // A page of a fixed size: never wider or taller than the page with both
    // scroll bars, beyond that there would only be empty space.
    const QSize most = page->maximumSize();
    if (most.width() < QWIDGETSIZE_MAX && most.height() < QWIDGETSIZE_MAX)
        scroll->setMaximumSize(most + ScrollBars(*scroll));
    return scroll;
}

void SetPage(QWidget& window, QWidget* page, QSize room) {
    auto* layout = new QVBoxLayout(&window);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSizeConstraint(QLayout::SetMinAndMaxSize);
    QWidget* content = FitToRoom(page, room);
    layout->addWidget(content);
    if (content == page) return;
    window.resize((Needs(*page) + ScrollBars(*content)).boundedTo(room));
}

}  // namespace quarn
