#pragma once

#include <QString>

#include <cstdint>

namespace quarn {

// The dashboard's status bar panels and link lamp as the link reports into
// them. Panel texts are also read back: "COM Retry" in panel 2 tells the
// monitoring loop that the last connection attempt failed.
class LinkStatus {
public:
    static constexpr int kActivityPanel = 1;
    static constexpr int kLinkPanel = 2;

    // Lamp codes of SetComStat; any other code leaves the lamp as it is.
    static constexpr std::int16_t kLampGrey = 0;
    static constexpr std::int16_t kLampGreen = 1;
    static constexpr std::int16_t kLampYellow = 2;
    static constexpr std::int16_t kLampRed = 3;

    virtual ~LinkStatus() = default;
    // Panels are numbered from 1 to 5.
    virtual void SetPanelText(int panel, const QString& text) = 0;
    virtual QString PanelText(int panel) const = 0;
    virtual void SetComStat(std::int16_t code) = 0;
    // A notice about the link beside the usual panel texts, such as a
    // reconnect that came back slower than before; an empty text clears it.
    virtual void ShowLinkNotice(const QString& text) { (void)text; }
};

// What the link needs from the user interface beyond the status bar: the
// message boxes and the end of the program.
class LinkAlerts {
public:
    virtual ~LinkAlerts() = default;
    // A message with the critical-stop icon and, where given, a detail such
    // as the device and the system's reason. The program ends after it
    // (EndProgram), not before the user has pressed OK.
    virtual void ShowCritical(const QString& title, const QString& text,
                              const QString& detail) = 0;
    // Tells the user that the settings file could not be written. The link
    // calls it at most once per run.
    virtual void ShowSettingsNotSaved(const QString& text) = 0;
    // Ends the program at once. Only a test implementation returns.
    virtual void EndProgram() = 0;
};

// For programs without windows: messages go to standard error and the
// program ends with exit status 1.
class ConsoleLinkAlerts final : public LinkAlerts {
public:
    void ShowCritical(const QString& title, const QString& text, const QString& detail) override;
    void ShowSettingsNotSaved(const QString& text) override;
    [[noreturn]] void EndProgram() override;
};

}  // namespace quarn
