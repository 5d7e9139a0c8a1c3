#include "monitor/FramePath.h"

namespace quarn {

bool FramePath::Decode(const ByteBuffer& frame) {
    m_state.BadFrame = DecodeFrame(frame, m_rec);
    return !m_state.BadFrame;
}

bool FramePath::Deliver(FrameSource source) {
    m_conversion.ComputeChannels(m_rec, m_vehicle);
    if (m_consumers.DashboardVisible()) m_consumers.UpdateDash();
    for (int slot = kFirstScopeSlot; slot <= kLastScopeSlot; ++slot) {
        m_consumers.PrepareScopeSlot(slot);
        if (m_consumers.ScopeVisible(slot)) m_consumers.FeedScopes(slot);
    }
    if (source != FrameSource::Box) return false;
    const bool logged = m_state.Recording;
    if (logged) m_consumers.WriteLogRecord();
    // After the write: a trigger that starts a recording here writes this
    // frame itself, with the ones before it.
    m_consumers.OfferLiveFrame();
    return logged;
}

void FramePath::WarmUp(const ByteBuffer& frame) {
    DecodeFrame(frame, m_rec);
    m_conversion.ComputeChannels(m_rec, m_vehicle);
}

}  // namespace quarn
