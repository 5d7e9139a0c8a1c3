#pragma once

#include <optional>
#include <string_view>

namespace quarn {

// The car's data that the conversion and the fuel economy need: curb weight
// (lb), injector flow rate (lb/hr) and number of cylinders. The session
// properties window edits them as text; a text that is not a sensible
// positive number is refused and the last valid value stays in force, so a
// typo never puts NaN or infinity on a gauge.
class VehicleData {
public:
    static constexpr double kDefaultWeight = 3500;
    static constexpr double kDefaultInjSize = 36;
    static constexpr double kDefaultNumCyl = 8;

    // Accepted ranges. The upper bounds keep the power and economy
    // arithmetic far from overflow.
    static constexpr double kMaxWeight = 100000;
    static constexpr double kMaxInjSize = 10000;
    static constexpr double kMaxNumCyl = 64;

    // The road-load figures of the dyno: drag area CdA (m², drag coefficient
    // times frontal area) and the rolling-resistance coefficient Crr. The
    // defaults suit a mid-sized saloon or coupe on road tyres.
    static constexpr double kDefaultCdA = 0.70;
    static constexpr double kDefaultCrr = 0.015;
    static constexpr double kMaxCdA = 20;
    static constexpr double kMaxCrr = 1;

    double weight() const { return m_weight; }
    double injsize() const { return m_injsize; }
    double numcyl() const { return m_numcyl; }
    double cda() const { return m_cda; }
    double crr() const { return m_crr; }

    // Each setter returns false, and changes nothing, for a refused text.
    bool SetWeight(std::string_view text);
    bool SetInjSize(std::string_view text);
    bool SetNumCyl(std::string_view text);
    bool SetCdA(std::string_view text);
    bool SetCrr(std::string_view text);

    // A decimal number above 0 and at most maxValue, surrounding blanks
    // allowed, nothing else; integral demands a whole number.
    static std::optional<double> ParsePositive(std::string_view text, double maxValue,
                                               bool integral = false);

private:
    double m_weight = kDefaultWeight;
    double m_injsize = kDefaultInjSize;
    double m_numcyl = kDefaultNumCyl;
    double m_cda = kDefaultCdA;
    double m_crr = kDefaultCrr;
};

}  // namespace quarn
