// Fuzzes the formula compiler with any text: it either compiles, or fails
// with a message and a position inside the text; what compiles evaluates
// over a short log with uneven times and gaps to one value per row.

#include <QString>

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "analysis/Expression.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::vector<QString> names{"RPM", "TPS", "WideO2", "Boost", "InjDuty"};
    static const std::vector<std::vector<float>> values{
        {800, 3000, NAN, 6000, 6000, 0},   {0.5f, 4, 4, 0, -1, 2}, {14.7f, 11, 0, 19, 12, 12},
        {-5, 0, 7, 7, 1e30f, -1e30f}, {0, 50, 100, 0, 0, 0}};
    static const std::vector<double> seconds{0, 0.01, 0.01, 0.5, 2.5, 2.51};
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const quarn::Expression e = quarn::Expression::Compile(text, names);
    if (!e.Ok()) {
        const auto& error = e.Error();
        if (error.message.isEmpty() || error.position < 0 || error.position > text.size()) std::abort();
        return 0;
    }
    quarn::ColumnSet set;
    set.names = names;
    for (const auto& v : values) set.columns.emplace_back(v);
    set.seconds = seconds;
    const std::vector<float> out = e.Evaluate(set);
    if (out.size() != seconds.size()) std::abort();
    for (float v : out)
        if (std::isinf(v)) std::abort();  // undefined values are gaps
    return 0;
}
