#include "dyno/DynoCsv.h"

#include <charconv>

namespace quarn {
namespace {

// Plain digits and a decimal point in any locale: a Qt program runs with the
// user's LC_NUMERIC, which printf would follow.
void Append(std::string& out, double v, int decimals, char end) {
    char buf[64];
    const auto [ptr, ec] =
        std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
    if (ec == std::errc()) out.append(buf, ptr);
    out += end;
}

}  // namespace

std::string CurveCsv(const DynoCurve& curve) {
    std::string out =
        "RPM,Power (hp),Torque (lb-ft),SAE corrected power (hp),SAE corrected torque (lb-ft)\n";
    const double cf = curve.correctionFactor;
    for (const CurvePoint& p : curve.points) {
        Append(out, p.rpm, 0, ',');
        Append(out, p.hp, 1, ',');
        Append(out, p.torque, 1, ',');
        Append(out, p.hp * cf, 1, ',');
        Append(out, p.torque * cf, 1, '\n');
    }
    return out;
}

}  // namespace quarn
