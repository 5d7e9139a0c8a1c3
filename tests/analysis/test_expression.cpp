// The formula language: precedence and associativity, the functions over time
// against direct computations, gaps, and every kind of error with its place.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "analysis/Expression.h"
#include "analysis/MathChannel.h"
#include "analysis/TimeColumns.h"

namespace quarn {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A small log held as columns, owning its data.
struct Log {
    std::vector<QString> names{"RPM", "TPS", "WideO2", "Boost"};
    std::vector<std::vector<float>> values;
    std::vector<double> seconds;
    ColumnSet Set() const {
        ColumnSet s;
        s.names = names;
        for (const auto& v : values) s.columns.emplace_back(v);
        s.seconds = seconds;
        return s;
    }
};

Log OneRecord() {
    Log log;
    log.values = {{3000}, {2}, {14.7f}, {-3}};
    log.seconds = {0};
    return log;
}

float Value(const QString& text, const Log& log = OneRecord()) {
    const Expression e = Expression::Compile(text, log.names);
    EXPECT_TRUE(e.Ok()) << text.toStdString() << ": " << e.Error().message.toStdString();
    return e.Evaluate(log.Set()).at(0);
}

TEST(Expression, PrecedenceAndAssociativity) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"1 + 2 * 3", 7},          {"(1 + 2) * 3", 9},      {"10 - 4 - 3", 3},
        {"64 / 4 / 2", 8},         {"2 ^ 3 ^ 2", 512},      {"-2 ^ 2", -4},
        {"2 * -3", -6},            {"-TPS * 2", -4},        {"1e3 + .5", 1000.5},
        {"1 + 2 < 4", 1},          {"2 * 3 >= 6", 1},       {"2 != 3", 1},
        {"1 < 2 == 1", 1},         {"1 or 0 and 0", 1},     {"(1 or 0) and 0", 0},
        {"not 1 or 1", 1},         {"not 0 and 0", 0},      {"not RPM > 3500", 1},
        {"NOT TPS == 2", 0},       {"1 && 0 || 1", 1},      {"rpm / 1000 + tps", 5},
        {"WideO2 / 14.7", 1},      {"(Boost + 14.7) / 14.5", (-3 + 14.7f) / 14.5},
        {"WideO2 > 13.5 and TPS > 3.5", 0},                 {"WideO2 > 13.5 AND tps > 1.5", 1},
        {"if(TPS > 1, 10, 20)", 10},                        {"If(TPS > 5, 10, 20)", 20},
        {"clamp(Boost, 0, 10)", 0}, {"clamp(RPM, 0, 10)", 10}, {"min(3, 1, 2)", 1},
        {"max(RPM, 5000)", 5000},  {"abs(Boost)", 3},       {"sqrt(16)", 4},
        {"log(exp(2))", 2},        {"-abs(-2)", -2},
    };
    for (const auto& c : cases) EXPECT_NEAR(Value(c.text), c.value, 1e-4) << c.text;
}

TEST(Expression, UndefinedValuesAndMissingInputsAreGaps) {
    Log gap = OneRecord();
    gap.values[2][0] = kNaN;
    for (const char* text : {"1 / 0", "0 / 0", "log(-1)", "sqrt(Boost)", "-1 / (TPS - 2)", "1e39", "-RPM * 1e300"})
        EXPECT_TRUE(std::isnan(Value(text))) << text;
    for (const char* text : {"WideO2 * 0", "if(1, 2, WideO2)", "WideO2 > 13.5", "not WideO2"})
        EXPECT_TRUE(std::isnan(Value(text, gap))) << text;
    EXPECT_FLOAT_EQ(Value("RPM", gap), 3000);
}

TEST(Expression, ErrorsPointAtTheirPlace) {
    const struct {
        const char* text;
        int position;
        const char* message;
    } cases[] = {
        {"RPM + Foo", 6, "unknown name 'Foo'"},
        {"foo(1)", 0, "unknown function 'foo'"},
        {"TPS + RPM(1)", 6, "RPM is a channel"},
        {"2 * sqrt", 4, "sqrt needs its arguments"},
        {"(RPM + 1", 0, "never closed"},
        {"smooth(RPM, 0.5", 6, "never closed"},
        {"RPM + 1)", 7, "without its ("},
        {"clamp(RPM, 1)", 0, "clamp takes 3 arguments, not 2"},
        {"smooth(RPM)", 0, "smooth takes 2 arguments, not 1"},
        {"TPS + ddt(RPM, 2)", 6, "ddt takes 1 argument, not 2"},
        {"max()", 0, "at least one"},
        {"max(RPM,,1)", 8, "argument is missing"},
        {"RPM, TPS", 3, "comma outside"},
        {"RPM +", 5, "missing at the end"},
        {"smooth(RPM *, 1)", 12, "missing at the end"},
        {"RPM 3", 4, "unexpected '3'"},
        {"3 smooth(RPM, 1)", 2, "unexpected 'smooth'"},
        {"RPM = 3", 4, "use =="},
        {"RPM # 2", 4, "unexpected character '#'"},
        {"RPM\u00b0", 3, "unexpected character"},
        {"smooth(RPM, TPS)", 12, "must be a number"},
        {"smooth(RPM, 0)", 12, "more than 0"},
        {"lag(RPM, 1.5)", 9, "whole number"},
        {"lag(RPM, -1)", 9, "whole number"},
        {"   ", 0, "empty"},
    };
    const std::vector<QString> names = OneRecord().names;
    for (const auto& c : cases) {
        const Expression e = Expression::Compile(QString::fromUtf8(c.text), names);
        ASSERT_FALSE(e.Ok()) << c.text;
        EXPECT_EQ(e.Error().position, c.position) << c.text << ": " << e.Error().message.toStdString();
        EXPECT_TRUE(e.Error().message.contains(QString::fromUtf8(c.message)))
            << c.text << ": " << e.Error().message.toStdString();
    }
}

// A log with uneven times, a held stretch and a gap, like a sidecar's.
Log Wavy(std::size_t rows) {
    Log log;
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> step(0.005, 0.03);
    log.values.assign(4, std::vector<float>(rows));
    double t = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        if (i == 300) t += 0.2;
        log.seconds.push_back(t);
        log.values[0][i] = static_cast<float>(3000 + 1500 * std::sin(t * 2) + (i % 7) * 10);
        log.values[1][i] = static_cast<float>(2 + std::cos(t));
        log.values[2][i] = i == 200 ? kNaN : 14.0f;
        log.values[3][i] = 0;
        t += step(rng);
    }
    return log;
}

std::vector<double> Direct(const std::vector<float>& v) {
    return {v.begin(), v.end()};
}
std::vector<double> DirectSmooth(const std::vector<double>& x, const std::vector<double>& t, double s) {
    std::vector<double> out(x.size(), NAN);
    for (std::size_t i = 0; i < x.size(); ++i) {
        double sum = 0;
        int n = 0;
        for (std::size_t j = 0; j < x.size(); ++j)
            if (std::abs(t[j] - t[i]) <= s / 2 && !std::isnan(x[j])) sum += x[j], ++n;
        if (!std::isnan(x[i]) && n) out[i] = sum / n;
    }
    return out;
}
std::vector<double> DirectDdt(const std::vector<double>& x, const std::vector<double>& t) {
    std::vector<double> out(x.size());
    const std::size_t n = x.size();
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t a = i ? i - 1 : 0, b = i + 1 < n ? i + 1 : i;
        out[i] = (x[b] - x[a]) / (t[b] - t[a]);
    }
    return out;
}
double DirectAt(const std::vector<double>& x, const std::vector<double>& t, double when) {
    for (std::size_t j = 0; j + 1 < t.size(); ++j)
        if (t[j] <= when && when <= t[j + 1])
            return x[j] + (when - t[j]) / (t[j + 1] - t[j]) * (x[j + 1] - x[j]);
    return NAN;
}

TEST(Expression, FunctionsOverTimeMatchDirectComputations) {
    const Log log = Wavy(600);
    const auto& t = log.seconds;
    const std::vector<double> rpm = Direct(log.values[0]), afr = Direct(log.values[2]);
    std::vector<double> lag3(rpm.size(), NAN), shifted(rpm.size()), step(rpm.size(), NAN);
    for (std::size_t i = 3; i < rpm.size(); ++i) lag3[i] = rpm[i - 3];
    for (std::size_t i = 1; i < rpm.size(); ++i) step[i] = rpm[i] - rpm[i - 1];
    for (std::size_t i = 0; i < rpm.size(); ++i) shifted[i] = DirectAt(rpm, t, t[i] - 0.123);
    std::vector<double> smoothAfr = DirectSmooth(afr, t, 0.3);
    for (double& v : smoothAfr) v = std::isnan(v) ? v : v * 2;

    const struct {
        const char* text;
        std::vector<double> expected;
    } cases[] = {
        {"smooth(RPM, 0.5)", DirectSmooth(rpm, t, 0.5)},
        {"ddt(rpm)", DirectDdt(rpm, t)},
        {"lag(RPM, 3)", lag3},
        {"RPM - lag(RPM, 1)", step},
        {"shift(RPM, 0.123)", shifted},
        {"smooth(ddt(RPM), 0.2)", DirectSmooth(DirectDdt(rpm, t), t, 0.2)},
        {"2 * smooth(WideO2, 0.3)", smoothAfr},
    };
    for (const auto& c : cases) {
        const Expression e = Expression::Compile(c.text, log.names);
        ASSERT_TRUE(e.Ok()) << c.text << ": " << e.Error().message.toStdString();
        const std::vector<float> got = e.Evaluate(log.Set());
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            if (std::isnan(c.expected[i])) {
                EXPECT_TRUE(std::isnan(got[i])) << c.text << " row " << i;
                continue;
            }
            EXPECT_NEAR(got[i], c.expected[i], 1e-3 * (1 + std::abs(c.expected[i])))
                << c.text << " row " << i;
        }
    }
}

TEST(Expression, ReportsTheChannelsItReads) {
    const Expression e = Expression::Compile("smooth(WideO2, 1) - rpm / tps + lag(RPM, 2)",
                                             OneRecord().names);
    EXPECT_EQ(e.Channels(), (std::vector<int>{0, 1, 2}));
}

TEST(MathChannel, EvaluatesOrReportsItsFormula) {
    const Log log = Wavy(50);
    const MathChannelResult lambda = EvaluateMathChannel({"Lambda", "", "WideO2 / 14.7"}, log.Set());
    ASSERT_TRUE(lambda.Ok());
    EXPECT_NEAR(lambda.values[10], 14.0 / 14.7, 1e-6);
    const MathChannelResult bad = EvaluateMathChannel({"Bad", "", "WideO2 / Lamda"}, log.Set());
    EXPECT_TRUE(bad.values.empty());
    EXPECT_EQ(bad.error.position, 9);

    const std::vector<QString> taken = log.names;
    EXPECT_TRUE(MathChannelNameProblem("Lambda", taken).isEmpty());
    for (const char* name : {"", "2step", "AFR err", "rpm", "smooth", "max", "and"})
        EXPECT_FALSE(MathChannelNameProblem(name, taken).isEmpty()) << name;
}

}  // namespace
}  // namespace quarn
