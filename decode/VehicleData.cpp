#include "decode/VehicleData.h"

#include <charconv>
#include <cmath>

namespace quarn {

std::optional<double> VehicleData::ParsePositive(std::string_view text, double maxValue,
                                                 bool integral) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    // from_chars is locale-independent (a Qt program runs under the user's
    // locale) and reads plain decimal; letters other than an exponent are
    // refused first so "inf" and "nan" never get in.
    for (char c : text) {
        const bool ok = (c >= '0' && c <= '9') || c == '.' || c == '-' || c == 'e' || c == 'E';
        if (!ok) return std::nullopt;
    }
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size()) return std::nullopt;
    if (!std::isfinite(v) || v <= 0 || v > maxValue) return std::nullopt;
    if (integral && v != std::floor(v)) return std::nullopt;
    return v;
}

bool VehicleData::SetWeight(std::string_view text) {
    const auto v = ParsePositive(text, kMaxWeight);
    if (v) m_weight = *v;
    return v.has_value();
}

bool VehicleData::SetInjSize(std::string_view text) {
    const auto v = ParsePositive(text, kMaxInjSize);
    if (v) m_injsize = *v;
    return v.has_value();
}

bool VehicleData::SetNumCyl(std::string_view text) {
    const auto v = ParsePositive(text, kMaxNumCyl, true);
    if (v) m_numcyl = *v;
    return v.has_value();
}

bool VehicleData::SetCdA(std::string_view text) {
    const auto v = ParsePositive(text, kMaxCdA);
    if (v) m_cda = *v;
    return v.has_value();
}

bool VehicleData::SetCrr(std::string_view text) {
    const auto v = ParsePositive(text, kMaxCrr);
    if (v) m_crr = *v;
    return v.has_value();
}

}  // namespace quarn
