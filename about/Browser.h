#pragma once

#include <QString>

namespace quarn {

// Opening a web address in the desktop's default browser, in two steps so
// the about box can tell "no browser" from "the browser did not start", and
// so tests can fake both.
class Browser {
public:
    virtual ~Browser() = default;
    // The program that opens web addresses in the user's browser; empty
    // when there is none.
    virtual QString Find() const = 0;
    // Starts program on the address without waiting for it. False when the
    // program could not be started.
    virtual bool Launch(const QString& program, const QString& address) = 0;
};

// The real desktop. Find looks, in this order, for xdg-open (which follows
// the desktop's choice of default browser), the first program named in the
// BROWSER environment variable, and Debian's x-www-browser. Launch starts the
// program detached, so the browser outlives the dashboard and nothing waits
// for it; no file is written on the way.
class DesktopBrowser final : public Browser {
public:
    QString Find() const override;
    bool Launch(const QString& program, const QString& address) override;
};

}  // namespace quarn
