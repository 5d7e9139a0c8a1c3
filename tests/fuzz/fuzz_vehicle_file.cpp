// Fuzzes the vehicle file reader, a file users edit by hand and pass on,
// with its limit lines: a refused file leaves the car as it was and says
// why; a file that loads is written back as text that loads to the same car
// with no limit problems left.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

#include "settings/VehicleFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    quarn::VehicleFile untouched;
    untouched.name = QStringLiteral("before");
    quarn::VehicleFile car = untouched;
    QString error;
    if (!quarn::ParseVehicleFile(text, car, error)) {
        if (!(car == untouched) || error.isEmpty()) std::abort();
        return 0;
    }
    if (!error.isEmpty() && car.limitProblems.isEmpty()) std::abort();

    const QByteArray written = quarn::FormatVehicleFile(car);
    quarn::VehicleFile again;
    QString againError;
    if (!quarn::ParseVehicleFile(written, again, againError)) std::abort();
    if (!again.limitProblems.isEmpty()) std::abort();
    car.limitProblems.clear();
    if (!(again == car)) std::abort();
    return 0;
}
