#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "analysis/MathChannel.h"

namespace quarn {

// A named set of what the viewer shows, kept per user and applied to any
// log: channels are named, not numbered, so a layout outlives the order of
// the channel list and the math channels it defines.
struct ViewerLayout {
    struct Plot {
        QString first;
        QString second;  // empty: none
        bool operator==(const Plot&) const = default;
    };
    QString name;
    std::vector<Plot> plots;
    std::vector<MathChannel> math;
    QString heatX, heatY, heatZ;
    QString heatWhere;  // the heat map's filter formula; empty: every record
    QString scatterX, scatterY, scatterZ;
    QString scatterWhere;
    // Constants the user drew across the plots of a channel.
    struct Line {
        QString channel;
        double value = 0;
    };
    std::vector<Line> lines;
};

QString LayoutToJson(const ViewerLayout& layout);
std::optional<ViewerLayout> LayoutFromJson(const QString& json);

// The layouts of the user, in the per-user settings file.
class LayoutStore {
public:
    // file: an INI file; the per-user settings file when empty.
    // Layouts live in the per-user settings file, which the shell names.
    explicit LayoutStore(QString file);
    QStringList Names() const;
    std::optional<ViewerLayout> Load(const QString& name) const;
    void Save(const ViewerLayout& layout);
    void Remove(const QString& name);
    // The layout every log opens with; empty when none is chosen.
    QString DefaultName() const;
    void SetDefaultName(const QString& name);

private:
    QString m_file;
};

}  // namespace quarn
