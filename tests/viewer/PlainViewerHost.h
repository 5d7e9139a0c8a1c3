#pragma once

#include "viewer/LogViewer.h"

namespace quarn::test {

// What a log viewer needs of the program when the test plays nothing: a car
// and a frame rate of 250 a second.
class PlainViewerHost final : public LogViewerHost {
public:
    const VehicleData& Vehicle() const override { return vehicle; }
    double FrameRate() const override { return 250; }
    void PlayRecords(const QString&, std::int64_t, std::int64_t) override {}
    VehicleData vehicle;
};

}  // namespace quarn::test
