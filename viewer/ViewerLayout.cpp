#include "viewer/ViewerLayout.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>


namespace quarn {
namespace {

constexpr char kGroup[] = "viewer-layouts";
constexpr char kDefaultKey[] = "viewer/default-layout";

}  // namespace

QString LayoutToJson(const ViewerLayout& layout) {
    QJsonObject o;
    o[QStringLiteral("name")] = layout.name;
    QJsonArray plots;
    for (const ViewerLayout::Plot& p : layout.plots)
        plots.append(QJsonObject{{QStringLiteral("first"), p.first}, {QStringLiteral("second"), p.second}});
    o[QStringLiteral("plots")] = plots;
    QJsonArray math;
    for (const MathChannel& m : layout.math)
        math.append(QJsonObject{{QStringLiteral("name"), m.name},
                                {QStringLiteral("unit"), m.unit},
                                {QStringLiteral("formula"), m.formula}});
    o[QStringLiteral("math")] = math;
    o[QStringLiteral("heat")] = QJsonObject{{QStringLiteral("x"), layout.heatX},
                                            {QStringLiteral("y"), layout.heatY},
                                            {QStringLiteral("z"), layout.heatZ},
                                            {QStringLiteral("where"), layout.heatWhere}};
    o[QStringLiteral("scatter")] = QJsonObject{{QStringLiteral("x"), layout.scatterX},
                                               {QStringLiteral("y"), layout.scatterY},
                                               {QStringLiteral("z"), layout.scatterZ},
                                               {QStringLiteral("where"), layout.scatterWhere}};
    QJsonArray lines;
    for (const ViewerLayout::Line& l : layout.lines)
        lines.append(QJsonObject{{QStringLiteral("channel"), l.channel}, {QStringLiteral("value"), l.value}});
    o[QStringLiteral("lines")] = lines;
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

std::optional<ViewerLayout> LayoutFromJson(const QString& json) {
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8());
    if (!doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    ViewerLayout layout;
    layout.name = o[QStringLiteral("name")].toString();
    if (layout.name.isEmpty()) return std::nullopt;
    for (const QJsonValue& v : o[QStringLiteral("plots")].toArray()) {
        const QJsonObject p = v.toObject();
        const QString first = p[QStringLiteral("first")].toString();
        if (!first.isEmpty()) layout.plots.push_back({first, p[QStringLiteral("second")].toString()});
    }
    for (const QJsonValue& v : o[QStringLiteral("math")].toArray()) {
        const QJsonObject m = v.toObject();
        layout.math.push_back({m[QStringLiteral("name")].toString(), m[QStringLiteral("unit")].toString(),
                               m[QStringLiteral("formula")].toString()});
    }
    const QJsonObject heat = o[QStringLiteral("heat")].toObject();
    layout.heatX = heat[QStringLiteral("x")].toString();
    layout.heatY = heat[QStringLiteral("y")].toString();
    layout.heatZ = heat[QStringLiteral("z")].toString();
    layout.heatWhere = heat[QStringLiteral("where")].toString();
    const QJsonObject scatter = o[QStringLiteral("scatter")].toObject();
    layout.scatterX = scatter[QStringLiteral("x")].toString();
    layout.scatterY = scatter[QStringLiteral("y")].toString();
    layout.scatterZ = scatter[QStringLiteral("z")].toString();
    layout.scatterWhere = scatter[QStringLiteral("where")].toString();
    for (const QJsonValue& v : o[QStringLiteral("lines")].toArray()) {
        const QJsonObject l = v.toObject();
        if (l[QStringLiteral("value")].isDouble())
            layout.lines.push_back({l[QStringLiteral("channel")].toString(), l[QStringLiteral("value")].toDouble()});
    }
    return layout;
}

LayoutStore::LayoutStore(QString file) : m_file(std::move(file)) {}

QStringList LayoutStore::Names() const {
    QSettings s(m_file, QSettings::IniFormat);
    s.beginGroup(QLatin1String(kGroup));
    QStringList names;
    // Keys are escaped by QSettings; the name proper is inside the layout.
    for (const QString& key : s.childKeys())
        if (auto layout = LayoutFromJson(s.value(key).toString())) names << layout->name;
    names.sort(Qt::CaseInsensitive);
    return names;
}

namespace {
QString KeyOf(const QString& name) {
    // A key free of the characters QSettings gives meaning to.
    return QString::fromLatin1(name.toUtf8().toHex());
}
}  // namespace

std::optional<ViewerLayout> LayoutStore::Load(const QString& name) const {
    if (name.isEmpty()) return std::nullopt;
    QSettings s(m_file, QSettings::IniFormat);
    s.beginGroup(QLatin1String(kGroup));
    return LayoutFromJson(s.value(KeyOf(name)).toString());
}

void LayoutStore::Save(const ViewerLayout& layout) {
    QSettings s(m_file, QSettings::IniFormat);
    s.beginGroup(QLatin1String(kGroup));
    s.setValue(KeyOf(layout.name), LayoutToJson(layout));
}

void LayoutStore::Remove(const QString& name) {
    QSettings s(m_file, QSettings::IniFormat);
    s.beginGroup(QLatin1String(kGroup));
    s.remove(KeyOf(name));
    s.endGroup();
    if (s.value(QLatin1String(kDefaultKey)).toString() == name) s.remove(QLatin1String(kDefaultKey));
}

QString LayoutStore::DefaultName() const {
    const QSettings s(m_file, QSettings::IniFormat);
    return s.value(QLatin1String(kDefaultKey)).toString();
}

void LayoutStore::SetDefaultName(const QString& name) {
    QSettings s(m_file, QSettings::IniFormat);
    if (name.isEmpty()) s.remove(QLatin1String(kDefaultKey));
    else s.setValue(QLatin1String(kDefaultKey), name);
}

}  // namespace quarn
