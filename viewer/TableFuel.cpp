#include "viewer/TableFuel.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>

#include <algorithm>
#include <cmath>

#include "viewer/LogTable.h"

namespace quarn {
namespace {

constexpr char kGroup[] = "fuel-tab";

QString KeyOf(const QString& car) {
    // QSettings gives meaning to slashes and more; a car with no name still
    // needs a key of its own.
    return car.isEmpty() ? QStringLiteral("no-car") : QString::fromLatin1(car.toUtf8().toHex());
}

}  // namespace

std::optional<FuelJobInput> FuelInputOf(const LogTable& t, std::size_t first, std::size_t last,
                                        const QString& custom, ExpressionError* error) {
    if (error) *error = {};
    FuelJobInput in;
    if (!custom.trimmed().isEmpty()) {
        std::vector<QString> names;
        for (const ViewerChannel& c : t.Channels()) names.push_back(c.name);
        in.custom = Expression::Compile(custom, names);
        if (!in.custom.Ok()) {
            if (error) *error = in.custom.Error();
            return std::nullopt;
        }
        in.names = std::move(names);
    }
    const std::vector<std::size_t>& damaged = t.DamagedRows();
    std::vector<std::size_t> rows;
    rows.reserve(t.Rows());
    for (std::size_t i = 0, d = 0; i < t.Rows(); ++i) {
        if (d < damaged.size() && damaged[d] == i) {
            ++d;
            continue;
        }
        rows.push_back(i);
    }
    auto keptIndex = [&](std::size_t row) {
        return static_cast<std::size_t>(std::lower_bound(rows.begin(), rows.end(), row) - rows.begin());
    };
    FuelLog& log = in.log;
    auto copy = [&](int id, auto& out) {
        const std::vector<float>& all = t.Column(id);
        out.resize(rows.size());
        for (std::size_t k = 0; k < rows.size(); ++k) out[k] = all[rows[k]];
    };
    auto column = [&](const char* name, std::vector<float>& out) {
        copy(ViewerChannelId(QString::fromLatin1(name)), out);
    };
    log.name = t.Path().toStdString();
    log.seconds.resize(rows.size());
    for (std::size_t k = 0; k < rows.size(); ++k) log.seconds[k] = t.SecondsAt(rows[k]);
    column("MAF", log.maf);
    column("RPM", log.rpm);
    column("TPS", log.tps);
    column("ECT", log.ect);
    column("WideO2", log.wideO2);
    column("HEGOL", log.hegoL);
    column("HEGOR", log.hegoR);
    column("InjDuty", log.injDuty);
    column("InjPW", log.injPw);
    log.warmUp = keptIndex(t.WarmUpRows());
    log.first = keptIndex(first);
    log.last = keptIndex(last);
    if (in.custom.Ok()) {
        in.columns.resize(in.names.size());
        for (int id : in.custom.Channels()) copy(id, in.columns[static_cast<std::size_t>(id)]);
    }
    return in;
}

void EvaluateFuelCondition(FuelJobInput& input) {
    if (!input.custom.Ok()) return;
    ColumnSet set;
    set.names = input.names;
    for (const std::vector<float>& c : input.columns) set.columns.emplace_back(c);
    set.seconds = input.log.seconds;
    const std::vector<float> holds = input.custom.Evaluate(set);
    input.log.custom.assign(holds.size(), 0);
    // Where the condition is undefined it does not hold: NaN is no yes.
    for (std::size_t i = 0; i < holds.size(); ++i)
        input.log.custom[i] = std::isfinite(holds[i]) && holds[i] != 0;
}

QString FuelInputsToJson(const FuelInputs& in) {
    const FuelSetup& s = in.setup;
    const InjectorData& j = s.injector;
    const FuelFilters& f = s.filters;
    QJsonObject o{
        {QStringLiteral("transfer"), in.transfer},
        {QStringLiteral("unit"), in.unit == AirflowUnit::LbPerMin ? QStringLiteral("lb/min")
                                                                  : QStringLiteral("kg/h")},
        {QStringLiteral("slope"), j.slopeLbHr},
        {QStringLiteral("offset"), j.offsetMs},
        {QStringLiteral("breakpoint"), j.breakpointMs},
        {QStringLiteral("lowSlope"), j.lowSlopeLbHr},
        {QStringLiteral("bankFire"), j.bankFire},
        {QStringLiteral("cylinders"), j.cylinders},
        {QStringLiteral("fuel"), static_cast<int>(s.fuel)},
        {QStringLiteral("customStoich"), s.customStoich},
        {QStringLiteral("target"), s.target.afr},
        {QStringLiteral("lag"), s.lagMs},
        {QStringLiteral("clamp"), s.clampPercent},
        {QStringLiteral("smooth"), s.smooth},
        {QStringLiteral("minEct"), f.minEctF},
        {QStringLiteral("maxMafRate"), f.maxMafVoltsPerSecond},
        {QStringLiteral("minDuty"), f.minInjDutyPercent},
        {QStringLiteral("throttleRate"), f.throttlePercentPerSecond},
        {QStringLiteral("afterThrottle"), f.afterThrottleSeconds},
        {QStringLiteral("minAfr"), f.minAfr},
        {QStringLiteral("maxAfr"), f.maxAfr},
        {QStringLiteral("custom"), in.custom},
        {QStringLiteral("selection"), in.selectionOnly},
        {QStringLiteral("lambda"), in.showLambda},
    };
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

FuelInputs FuelInputsFromJson(const QString& json, const FuelInputs& defaults) {
    FuelInputs in = defaults;
    const QJsonObject o = QJsonDocument::fromJson(json.toUtf8()).object();
    auto number = [&](const char* key, double& v) {
        const QJsonValue x = o[QLatin1String(key)];
        if (x.isDouble() && std::isfinite(x.toDouble())) v = x.toDouble();
    };
    auto flag = [&](const char* key, bool& v) {
        const QJsonValue x = o[QLatin1String(key)];
        if (x.isBool()) v = x.toBool();
    };
    auto text = [&](const char* key, QString& v) {
        const QJsonValue x = o[QLatin1String(key)];
        if (x.isString()) v = x.toString();
    };
    FuelSetup& s = in.setup;
    InjectorData& j = s.injector;
    FuelFilters& f = s.filters;
    text("transfer", in.transfer);
    if (o[QLatin1String("unit")].isString())
        in.unit = o[QLatin1String("unit")].toString() == QLatin1String("lb/min") ? AirflowUnit::LbPerMin
                                                                                : AirflowUnit::KgPerHour;
    number("slope", j.slopeLbHr);
    number("offset", j.offsetMs);
    number("breakpoint", j.breakpointMs);
    number("lowSlope", j.lowSlopeLbHr);
    flag("bankFire", j.bankFire);
    double cylinders = j.cylinders, fuel = static_cast<int>(s.fuel);
    number("cylinders", cylinders);
    j.cylinders = std::clamp(static_cast<int>(cylinders), 1, 64);
    number("fuel", fuel);
    if (fuel >= 0 && fuel <= static_cast<int>(FuelKind::Custom)) s.fuel = static_cast<FuelKind>(static_cast<int>(fuel));
    number("customStoich", s.customStoich);
    number("target", s.target.afr);
    number("lag", s.lagMs);
    number("clamp", s.clampPercent);
    flag("smooth", s.smooth);
    number("minEct", f.minEctF);
    number("maxMafRate", f.maxMafVoltsPerSecond);
    number("minDuty", f.minInjDutyPercent);
    number("throttleRate", f.throttlePercentPerSecond);
    number("afterThrottle", f.afterThrottleSeconds);
    number("minAfr", f.minAfr);
    number("maxAfr", f.maxAfr);
    text("custom", in.custom);
    flag("selection", in.selectionOnly);
    flag("lambda", in.showLambda);
    return in;
}

std::optional<FuelInputs> FuelInputStore::Load(const QString& car, const FuelInputs& defaults) const {
    if (m_file.isEmpty()) return std::nullopt;
    QSettings s(m_file, QSettings::IniFormat);
    s.beginGroup(QLatin1String(kGroup));
    const QString json = s.value(KeyOf(car)).toString();
    if (json.isEmpty()) return std::nullopt;
    return FuelInputsFromJson(json, defaults);
}

void FuelInputStore::Save(const QString& car, const FuelInputs& inputs) {
    if (m_file.isEmpty()) return;
    QSettings s(m_file, QSettings::IniFormat);
    s.beginGroup(QLatin1String(kGroup));
    s.setValue(KeyOf(car), FuelInputsToJson(inputs));
}

}  // namespace quarn
