// Covers the vehicle file: a car survives a save and a load unchanged, a
// hand-edited file reads back, and a file with any value the session
// properties would refuse is refused whole, leaving the car untouched.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "settings/VehicleFile.h"

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
