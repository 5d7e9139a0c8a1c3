// The night scheme: the application's palette goes dark and comes back as it
// was; a plot's ground, axes, legend, traces and items turn dark and dim at
// night and get back every colour they had by day; a colour the plot's owner
// sets at night is the one kept; a plot made at night is dark when first
// drawn.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include <qcustomplot.h>

#include <functional>

#include "widgets/NightScheme.h"

namespace quarn {
namespace {

// A day plot like the viewer's: white ground, grey axes, a blue trace with
// a legend, a cursor line and a marker label.
struct DayPlot {
    QCustomPlot plot;
    QCPGraph* graph = nullptr;
    QCPItemStraightLine* cursor = nullptr;
    QCPItemText* label = nullptr;

    DayPlot() {
        plot.resize(300, 200);
        graph = plot.addGraph();
        graph->setPen(QPen(QColor(25, 90, 190), 2));
        graph->setData({0, 1, 2}, {0, 2, 1});
        graph->setName(QStringLiteral("RPM"));
        plot.legend->setVisible(true);
        plot.legend->setBrush(QColor(255, 255, 255, 210));
        cursor = new QCPItemStraightLine(&plot);
        cursor->setPen(QPen(QColor(90, 90, 90)));
        label = new QCPItemText(&plot);
        label->setText(QStringLiteral("Cruise"));
        label->setBrush(QColor(255, 255, 255, 190));
        plot.xAxis->setRange(0, 2);
        plot.yAxis->setRange(0, 2);
    }
};

struct Colour {
    const char* part;
    std::function<QColor(DayPlot&)> of;
};

const Colour kColours[] = {
    {"tick labels", [](DayPlot& p) { return p.plot.xAxis->tickLabelColor(); }},
    {"axis line", [](DayPlot& p) { return p.plot.yAxis->basePen().color(); }},
    {"grid", [](DayPlot& p) { return p.plot.xAxis->grid()->pen().color(); }},
    {"legend ground", [](DayPlot& p) { return p.plot.legend->brush().color(); }},
    {"legend text", [](DayPlot& p) { return p.plot.legend->item(0)->textColor(); }},
    {"trace", [](DayPlot& p) { return p.graph->pen().color(); }},
    {"cursor", [](DayPlot& p) { return p.cursor->pen().color(); }},
    {"label text", [](DayPlot& p) { return p.label->color(); }},
    {"label ground", [](DayPlot& p) { return p.label->brush().color(); }},
};

QColor GroundPixel(QCustomPlot& plot) {
    return plot.toPixmap(300, 200).toImage().pixelColor(2, 2);
}

class NightSchemeTest : public ::testing::Test {
protected:
    void TearDown() override { ApplyNightScheme(false); }
};

TEST_F(NightSchemeTest, PaletteGoesDarkAndComesBackAsItWas) {
    const QPalette day = QApplication::palette();
    ApplyNightScheme(true);
    EXPECT_TRUE(NightSchemeOn());
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 32);
    EXPECT_LT(QApplication::palette().color(QPalette::Base).lightness(), 32);
    ApplyNightScheme(false);
    EXPECT_FALSE(NightSchemeOn());
    EXPECT_EQ(QApplication::palette(), day);
}

TEST_F(NightSchemeTest, EveryPlotColourComesBackByDay) {
    DayPlot p;
    p.plot.replot();
    std::vector<QColor> day;
    for (const Colour& c : kColours) day.push_back(c.of(p));
    const QColor dayGround = GroundPixel(p.plot);

    ApplyNightScheme(true);
    FollowNightScheme(p.plot);
    for (std::size_t i = 0; i < std::size(kColours); ++i)
        EXPECT_NE(kColours[i].of(p), day[i]) << kColours[i].part << " stays as by day";
    EXPECT_LT(GroundPixel(p.plot).lightness(), 32);
    EXPECT_LT(p.plot.legend->brush().color().lightness(), 32);
    EXPECT_LT(p.label->brush().color().lightness(), 32);

    ApplyNightScheme(false);
    FollowNightScheme(p.plot);
    for (std::size_t i = 0; i < std::size(kColours); ++i)
        EXPECT_EQ(kColours[i].of(p), day[i]) << kColours[i].part;
    EXPECT_EQ(GroundPixel(p.plot), dayGround);
}

TEST_F(NightSchemeTest, ColourSetByTheOwnerAtNightIsKeptByDay) {
    DayPlot p;
    ApplyNightScheme(true);
    FollowNightScheme(p.plot);
    // A second log opened at night draws its trace orange.
    p.graph->setPen(QPen(QColor(235, 120, 0), 2));
    p.plot.replot();
    const QColor nightOrange = p.graph->pen().color();
    EXPECT_NE(nightOrange, QColor(235, 120, 0)) << "not dimmed at the next replot";
    EXPECT_GT(nightOrange.red(), nightOrange.blue()) << "lost its hue";
    ApplyNightScheme(false);
    p.plot.replot();
    EXPECT_EQ(p.graph->pen().color(), QColor(235, 120, 0));
}

TEST_F(NightSchemeTest, PlotMadeAtNightIsDarkWhenFirstShown) {
    ApplyNightScheme(true);
    DayPlot p;
    p.plot.show();
    p.plot.replot();
    EXPECT_LT(GroundPixel(p.plot).lightness(), 32);
    EXPECT_EQ(p.plot.xAxis->tickLabelColor().hue(), QColor(0xb0, 0x30, 0x18).hue());
}

// The scopes' ground is black by day already; night leaves it black.
TEST_F(NightSchemeTest, DarkGroundStaysDark) {
    QCustomPlot scope;
    scope.setBackground(QBrush(Qt::black));
    ApplyNightScheme(true);
    FollowNightScheme(scope);
    EXPECT_EQ(GroundPixel(scope), QColor(Qt::black));
}

}  // namespace
}  // namespace quarn
