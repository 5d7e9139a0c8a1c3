// Where each dial writes its numerals, caption and unit, at every size the
// dashboard takes from an 800 x 480 screen to a 1280 x 1024 one: no two
// texts touch, a word keeps a readable gap from every numeral (no "-30" on
// "'F", no "1500 EGT 1500"), the caption and unit are always written, and
// nothing reaches the bezel.

#include <gtest/gtest.h>

#include <QFont>

#include <cmath>
#include <ostream>

#include "widgets/DialFace.h"
#include "widgets/GaugeSpecs.h"
#include "widgets/Twips.h"

namespace quarn {
namespace {

// The dashboard's ground at its standard size; a window adds its menu and
// status bars, about this tall together.
const QSize kBaseGround(Twips(8595), Twips(8025));
constexpr int kBarsPx = 44;

// The scale the dashboard lays its dials out at in a window of this size.
double DashScale(QSize window) {
    return std::min(double(window.width()) / kBaseGround.width(),
                    double(window.height() - kBarsPx) / kBaseGround.height());
}

// A gap narrower than this, outlines apart, reads as one word.
constexpr double kWordGapPx = 2;

std::string Where(const GaugeLayout& g, double scale, const FaceText& a, const FaceText& b) {
    return std::string(g.name) + " at scale " + std::to_string(scale) + ": \"" +
           a.text.toStdString() + "\" and \"" + b.text.toStdString() + "\"";
}

class DialTextTest : public ::testing::TestWithParam<Gauge> {};

TEST_P(DialTextTest, TextsKeepClearOfEachOtherAndOfTheBezel) {
    const GaugeLayout layout = GaugeLayoutOf(GetParam());
    const double smallest = DashScale({800, 480});
    const double largest = DashScale({1280, 1024});
    ASSERT_LT(smallest, 1);
    ASSERT_GT(largest, 1.5);
    for (double scale = smallest; scale <= largest + 1e-9; scale += 0.02) {
        const QSize size(static_cast<int>(std::lround(layout.pixels().width() * scale)),
                         static_cast<int>(std::lround(layout.pixels().height() * scale)));
        const std::vector<FaceText> texts = LayoutFaceTexts(layout.face, size, scale);

        const auto written = [&](const QString& word) {
            return word.isEmpty() || std::any_of(texts.begin(), texts.end(), [&](const FaceText& t) {
                       return !t.numeral && t.text == word;
                   });
        };
        EXPECT_TRUE(written(layout.face.caption)) << layout.name << " at " << scale;
        EXPECT_TRUE(written(layout.face.unitText)) << layout.name << " at " << scale;
        EXPECT_GE(std::count_if(texts.begin(), texts.end(), [](const FaceText& t) { return t.numeral; }),
                  3)
            << layout.name << " at " << scale << ": too few numerals to read the scale";

        const DialFrame frame = DialFrameFor(QSizeF(size));
        const double inside = frame.radius * (1 - kBezelWidth);
        for (std::size_t i = 0; i < texts.size(); ++i) {
            const QRectF r = texts[i].drawn;
            for (QPointF c : {r.topLeft(), r.topRight(), r.bottomLeft(), r.bottomRight()})
                EXPECT_LE(std::hypot(c.x() - frame.centre.x(), c.y() - frame.centre.y()), inside + 0.01)
                    << layout.name << " at " << scale << ": \"" << texts[i].text.toStdString()
                    << "\" reaches the bezel";
            for (std::size_t j = i + 1; j < texts.size(); ++j) {
                const bool word = !texts[i].numeral || !texts[j].numeral;
                const double gap = word ? kWordGapPx : 0;
                const QRectF o = texts[j].drawn;
                EXPECT_FALSE(r.adjusted(-gap, -gap, gap, gap).intersects(o))
                    << Where(layout, scale, texts[i], texts[j]);
                // Side by side on one line, a word and a numeral need the
                // room of a space between them.
                const bool sameLine = r.top() < o.bottom() && o.top() < r.bottom();
                if (word && sameLine) {
                    EXPECT_GE(std::max(o.left() - r.right(), r.left() - o.right()),
                              0.4 * std::max(r.height(), o.height()))
                        << Where(layout, scale, texts[i], texts[j]) << " read as one line";
                }
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryDial, DialTextTest, ::testing::ValuesIn(kDashboardGauges),
                         [](const auto& info) { return std::string(GaugeLayoutOf(info.param).name); });

}  // namespace
}  // namespace quarn
