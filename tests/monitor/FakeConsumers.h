#pragma once

// Frame consumers without windows, for the monitoring loop and the player:
// they note what reached the dashboard, the scopes and the log, and hooks let
// a test act at a frame as a user would during the yields.

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "monitor/FramePath.h"

namespace quarn::test {

class FakeConsumers final : public FrameConsumers {
public:
    FakeConsumers(const ChannelRecord& rec, std::vector<int> visibleScopes)
        : m_rec(rec), m_visible(std::move(visibleScopes)) {}

    bool DashboardVisible() const override { return dashboardVisible; }
    void UpdateDash() override {
        ++dash;
        shown.push_back(m_rec.MafRaw);
        rpm.push_back(m_rec.Rpm);
        if (onFrame) onFrame();
    }
    void PrepareScopeSlot(int slot) override { prepared.push_back(slot); }
    bool ScopeVisible(int slot) const override {
        return std::find(m_visible.begin(), m_visible.end(), slot) != m_visible.end();
    }
    void FeedScopes(int slot) override {
        fed.push_back(slot);
        if (onFed) onFed();
    }
    void WriteLogRecord() override {
        ++logged;
        if (onWrite) onWrite();
    }
    void OfferLiveFrame() override { ++offered; }

    bool dashboardVisible = true;
    int dash = 0;
    int logged = 0;
    int offered = 0;  // live frames handed to the recording trigger
    // The MAF word and the engine speed of every record the dashboard got.
    std::vector<int> shown;
    std::vector<float> rpm;
    std::vector<int> prepared;
    std::vector<int> fed;
    std::function<void()> onFrame;
    std::function<void()> onFed;
    std::function<void()> onWrite;

private:
    const ChannelRecord& m_rec;
    std::vector<int> m_visible;
};

}  // namespace quarn::test
