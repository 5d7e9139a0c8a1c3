#pragma once

#include <QString>

#include <cstddef>
#include <optional>
#include <vector>

#include "analysis/Expression.h"
#include "fuel/FuelAnalysis.h"

namespace quarn {

class LogTable;

// What the fuel analysis of a log needs, copied off the table on the window
// thread, so that a worker can run it while a followed recording grows the
// table. Rows of damaged frames are left out; the analysis times its
// filters by the seconds, so the gap they leave does no harm.
struct FuelJobInput {
    FuelLog log;
    // The custom condition, compiled against the table's channels, and the
    // columns it reads (the others stay empty); evaluated on the worker.
    Expression custom;
    std::vector<QString> names;
    std::vector<std::vector<float>> columns;
};

// rows [first, last) of the table's rows, the custom condition's text
// (empty: none). A condition that does not compile gives nullopt and error.
std::optional<FuelJobInput> FuelInputOf(const LogTable& t, std::size_t first, std::size_t last,
                                        const QString& custom, ExpressionError* error);

// Fills log.custom from the condition: a row passes where it is non-zero.
void EvaluateFuelCondition(FuelJobInput& input);

// The Fuel tab's inputs: what the user typed, kept per car.
struct FuelInputs {
    QString transfer;  // as pasted
    AirflowUnit unit = AirflowUnit::KgPerHour;
    FuelSetup setup;
    QString custom;
    bool selectionOnly = false;
    bool showLambda = false;
};

QString FuelInputsToJson(const FuelInputs& in);
// Fields missing from json keep their value in `defaults`.
FuelInputs FuelInputsFromJson(const QString& json, const FuelInputs& defaults);

// The inputs of every car, in the per-user settings file, by the car's name.
class FuelInputStore {
public:
    explicit FuelInputStore(QString file) : m_file(std::move(file)) {}
    std::optional<FuelInputs> Load(const QString& car, const FuelInputs& defaults) const;
    void Save(const QString& car, const FuelInputs& inputs);

private:
    QString m_file;
};

}  // namespace quarn
