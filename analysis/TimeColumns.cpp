#include "analysis/TimeColumns.h"

#include <cmath>
#include <limits>

namespace quarn {
namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
}  // namespace

std::vector<double> SmoothColumn(std::span<const double> x, std::span<const double> seconds,
                                 double window) {
    const std::size_t n = x.size();
    std::vector<double> out(n, kNaN);
    const double half = window / 2;
    // A sliding window over sorted times: each row enters and leaves once.
    std::size_t lo = 0, hi = 0;
    double sum = 0;
    std::size_t count = 0;
    for (std::size_t i = 0; i < n; ++i) {
        while (hi < n && seconds[hi] <= seconds[i] + half) {
            if (!std::isnan(x[hi])) {
                sum += x[hi];
                ++count;
            }
            ++hi;
        }
        while (seconds[lo] < seconds[i] - half) {
            if (!std::isnan(x[lo])) {
                sum -= x[lo];
                --count;
            }
            ++lo;
        }
        if (!std::isnan(x[i]) && count > 0) out[i] = sum / static_cast<double>(count);
    }
    return out;
}

std::vector<double> DerivativeColumn(std::span<const double> x, std::span<const double> seconds) {
    const std::size_t n = x.size();
    std::vector<double> out(n, kNaN);
    if (n < 2) return out;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = i == 0 ? 0 : i - 1;
        const std::size_t b = i + 1 == n ? i : i + 1;
        const double dt = seconds[b] - seconds[a];
        // Two records with one time say nothing about the rate.
        if (dt > 0) out[i] = (x[b] - x[a]) / dt;
    }
    return out;
}

std::vector<double> LagColumn(std::span<const double> x, long long records) {
    const std::size_t n = x.size();
    std::vector<double> out(n, kNaN);
    if (records < 0) return out;
    const auto k = static_cast<unsigned long long>(records);
    for (std::size_t i = k; i < n && k < n; ++i) out[i] = x[i - k];
    return out;
}

std::vector<double> ShiftColumn(std::span<const double> x, std::span<const double> seconds,
                                double delay) {
    const std::size_t n = x.size();
    std::vector<double> out(n, kNaN);
    if (n == 0) return out;
    // The wanted times rise with the rows, so the bracketing record only
    // moves forward.
    std::size_t j = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const double t = seconds[i] - delay;
        if (!(t >= seconds[0] && t <= seconds[n - 1])) continue;
        while (j + 1 < n && seconds[j + 1] <= t) ++j;
        if (j + 1 == n || seconds[j] == t) {
            out[i] = x[j];
            continue;
        }
        const double f = (t - seconds[j]) / (seconds[j + 1] - seconds[j]);
        out[i] = x[j] + f * (x[j + 1] - x[j]);
    }
    return out;
}

}  // namespace quarn
