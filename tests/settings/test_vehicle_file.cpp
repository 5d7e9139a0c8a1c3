// Covers the vehicle file: a car survives a save and a load unchanged, a
// hand-edited file reads back, and a file with any value the session
// properties would refuse is refused whole, leaving the car untouched.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "settings/VehicleFile.h"
#include "settings/VehicleLimitKeys.h"

namespace quarn {
namespace {

VehicleFile SampleCar() {
    VehicleFile car;
    car.name = QStringLiteral("Fox body \u00e9t\u00e9 \\ #2 = best");
    car.description = QStringLiteral("Line one\nC:\\path\\n stays\r\n\ttabbed\n");
    car.weight = 3212.75;
    car.injsize = 0.1;
    car.numcyl = 6;
    car.cda = 0.625;
    car.crr = 0.011;
    // Limits changed from the defaults both ways: one turned off, one set.
    car.limits[AlarmChannelIndex(Gauge::ECT)] = {std::nullopt, 205.5, std::nullopt, std::nullopt};
    car.limits[AlarmChannelIndex(Gauge::BAP)] = {24, std::nullopt, -1.25, 33};
    return car;
}

TEST(VehicleFile, RoundTripThroughARealFileKeepsEveryField) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("fox.vf"));
    QString error;
    VehicleFile back;
    for (const VehicleFile& car : {SampleCar(), VehicleFile{}}) {  // the second replaces the first
        ASSERT_TRUE(WriteVehicleFile(path, car, error)) << error.toStdString();
        ASSERT_TRUE(ReadVehicleFile(path, back, error)) << error.toStdString();
        EXPECT_EQ(back, car);
    }
}

TEST(VehicleFile, ReadsAHandEditedFile) {
    const QByteArray text =
        "\xef\xbb\xbf# my car\r\n\r\n  weight = 3000 \r\nnumcyl=4\ninjsize=19\n"
        "turbo=yes\n# name=commented out\n";
    VehicleFile car = SampleCar();
    QString error;
    ASSERT_TRUE(ParseVehicleFile(text, car, error)) << error.toStdString();
    EXPECT_EQ(car.weight, 3000);
    EXPECT_EQ(car.numcyl, 4);
    EXPECT_EQ(car.injsize, 19);
    EXPECT_TRUE(car.name.isEmpty());
    // A file from before the dyno's figures gives their defaults.
    EXPECT_EQ(car.cda, VehicleData::kDefaultCdA);
    EXPECT_EQ(car.crr, VehicleData::kDefaultCrr);
}

TEST(VehicleFile, RefusesABadFileWholeAndLeavesTheCarAlone) {
    const QByteArray good = "name=x\nweight=3500\ninjsize=36\nnumcyl=8\n";
    const std::vector<QByteArray> bad{
        "",
        "injsize=36\nnumcyl=8\n",
        "weight=0\ninjsize=36\nnumcyl=8\n",
        "weight=-3500\ninjsize=36\nnumcyl=8\n",
        "weight=3500 lb\ninjsize=36\nnumcyl=8\n",
        "weight=1e6\ninjsize=36\nnumcyl=8\n",
        "weight=3500\ninjsize=inf\nnumcyl=8\n",
        "weight=3500\ninjsize=36\nnumcyl=6.5\n",
        good + "cda=0\n",
        good + "cda=-0.7\n",
        good + "crr=-0.01\n",
        good + "weight=3000\n",
        good + "just words\n",
        good + QByteArray("name2=a\0b\n", 10),
        "name=\xff\xfe\n" + good.mid(7),
        good + "# " + QByteArray(kMaxVehicleFileBytes, 'x') + "\n",
    };
    for (const QByteArray& text : bad) {
        SCOPED_TRACE(text.left(60).toStdString());
        VehicleFile car = SampleCar();
        QString error;
        EXPECT_FALSE(ParseVehicleFile(text, car, error));
        EXPECT_FALSE(error.isEmpty());
        EXPECT_EQ(car, SampleCar());
    }
}

TEST(VehicleFile, BadLimitLinesAreReportedByLineAndTheRestLoads) {
    const QByteArray text =
        "weight=3000\ninjsize=30\nnumcyl=4\n"
        "limit.ect=off, 210 ,off,240\n"  // 4: good
        "limit.act=off,250,off,230\n"    // 5: warn beyond danger
        "limit.rpm=off,6000,off\n"       // 6: three fields
        "limit.boost=x,off,off,off\n"    // 7: not a number
        "limit.turbo=1,2,3,4\n"          // 8: no such dial
        "limit.ect=off,1,off,2\n"        // 9: given twice
        "limit.egt=off,1500,,1650\n";    // 10: good, an empty field is off
    VehicleFile car;
    QString error;
    ASSERT_TRUE(ParseVehicleFile(text, car, error)) << error.toStdString();
    EXPECT_EQ(car.weight, 3000);
    const AlarmLimitSet defaults = DefaultAlarmLimits();
    EXPECT_EQ(car.limits[AlarmChannelIndex(Gauge::ECT)],
              (AlarmLimits{std::nullopt, 210, std::nullopt, 240}));
    EXPECT_EQ(car.limits[AlarmChannelIndex(Gauge::EGT)],
              (AlarmLimits{std::nullopt, 1500, std::nullopt, 1650}));
    for (Gauge g : {Gauge::ACT, Gauge::Tach, Gauge::Boost})
        EXPECT_EQ(car.limits[AlarmChannelIndex(g)], defaults[AlarmChannelIndex(g)]);
    ASSERT_EQ(car.limitProblems.size(), 5);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(car.limitProblems[i].startsWith(QStringLiteral("Line %1 ").arg(i + 5)))
            << car.limitProblems[i].toStdString();

    // A file without limit lines (an older one) keeps every default.
    VehicleFile old;
    ASSERT_TRUE(ParseVehicleFile("weight=3000\ninjsize=30\nnumcyl=4\n", old, error));
    EXPECT_EQ(old.limits, defaults);
    EXPECT_TRUE(old.limitProblems.isEmpty());

    // The message lists a few refused lines and counts the rest; a file as
    // large as allowed, of nothing but refused lines, is all counted.
    EXPECT_EQ(LimitProblemsText(car.limitProblems), car.limitProblems.join(u'\n'));
    QByteArray many = "weight=3000\ninjsize=30\nnumcyl=4\n";
    for (int i = 0; i < 6000; ++i) many += "limit.x=1\n";
    VehicleFile flooded;
    ASSERT_TRUE(ParseVehicleFile(many, flooded, error)) << error.toStdString();
    ASSERT_EQ(flooded.limitProblems.size(), 6000);
    const QStringList listed = LimitProblemsText(flooded.limitProblems).split(u'\n');
    ASSERT_EQ(listed.size(), kListedLimitProblems + 1);
    EXPECT_EQ(listed.first(), flooded.limitProblems.first());
    EXPECT_EQ(listed[kListedLimitProblems - 1], flooded.limitProblems[kListedLimitProblems - 1]);
    EXPECT_EQ(listed.last(), QStringLiteral("... and 5990 more"));
}

TEST(VehicleFile, AFailedWriteIsReportedAndLeavesNoFile) {
    QTemporaryDir dir;
    const QString nowhere = dir.filePath(QStringLiteral("no/such/folder/car.vf"));
    QString error;
    EXPECT_FALSE(WriteVehicleFile(nowhere, SampleCar(), error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(nowhere));
}

}  // namespace
}  // namespace quarn
