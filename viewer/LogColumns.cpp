#include "viewer/LogColumns.h"

namespace quarn {

LogColumns::LogColumns(const LogTable& table) {
    m_seconds.resize(table.Rows());
    for (std::size_t r = 0; r < table.Rows(); ++r) m_seconds[r] = table.SecondsAt(r);
    const auto& channels = table.Channels();
    for (std::size_t id = 0; id < channels.size(); ++id) {
        m_set.names.push_back(channels[id].name);
        m_set.units.push_back(channels[id].unit);
        // An unopened table has no columns yet.
        m_set.columns.push_back(table.Rows() ? std::span<const float>(table.Column(static_cast<int>(id)))
                                             : std::span<const float>());
    }
    m_set.seconds = m_seconds;
}

}  // namespace quarn
