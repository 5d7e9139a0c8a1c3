#pragma once

#include "decode/ChannelRecord.h"
#include "decode/Conversion.h"
#include "decode/Frame.h"
#include "decode/VehicleData.h"
#include "monitor/RunState.h"

namespace quarn {

// Where a frame goes once it is decoded and converted: the dashboard (whose
// needles check the alarms), the scopes and the log.
class FrameConsumers {
public:
    virtual ~FrameConsumers() = default;
    virtual bool DashboardVisible() const = 0;
    virtual void UpdateDash() = 0;
    // Makes sure a scope slot holds a window, created hidden when empty.
    virtual void PrepareScopeSlot(int slot) = 0;
    virtual bool ScopeVisible(int slot) const = 0;
    virtual void FeedScopes(int slot) = 0;
    virtual void WriteLogRecord() = 0;
    // Every good frame from the box, recording or not, once it has been
    // through the rest: what a recording trigger watches.
    virtual void OfferLiveFrame() {}
};

// A frame either comes from the box now or is played from a log.
enum class FrameSource { Box, Log };

// The one way a frame goes through the program, live or played: decode,
// conversion, dashboard and alarms, scopes, and the recorder. The monitoring
// loop and the player both feed it, so what a frame does is said once.
class FramePath {
public:
    static constexpr int kFirstScopeSlot = 1;
    static constexpr int kLastScopeSlot = 10;

    FramePath(RunState& state, ChannelRecord& rec, Conversion& conversion,
              const VehicleData& vehicle, FrameConsumers& consumers)
        : m_state(state),
          m_rec(rec),
          m_conversion(conversion),
          m_vehicle(vehicle),
          m_consumers(consumers) {}

    // Unpacks the frame into the record and sets BadFrame. True when the
    // frame passed validation.
    bool Decode(const ByteBuffer& frame);
    // Converts the record last decoded and hands it on. Only a frame from
    // the box goes into a running recording: a played one is in a log
    // already. True when the frame went to the log.
    bool Deliver(FrameSource source);
    // The conversion's running averages take the frame in, and nothing
    // else: the records before a played range, so that its first records
    // show what they show when the whole log plays.
    void WarmUp(const ByteBuffer& frame);

    const VehicleData& Vehicle() const { return m_vehicle; }

private:
    RunState& m_state;
    ChannelRecord& m_rec;
    Conversion& m_conversion;
    const VehicleData& m_vehicle;
    FrameConsumers& m_consumers;
};

}  // namespace quarn
