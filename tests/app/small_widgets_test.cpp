#include "lamp_widget.h"
#include "up_down_control.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <vector>

namespace {

struct UpDownFixture : ::testing::Test {
    QLineEdit buddy;
    UpDownControl upDown;

    void SetUp() override
    {
        buddy.setReadOnly(true);
        upDown.setRange(1, 600);
        upDown.setValue(1);
        upDown.setBuddy(&buddy);
    }

    void pressKey(int key)
    {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QCoreApplication::sendEvent(&buddy, &press);
    }
};

} // namespace

TEST_F(UpDownFixture, PositionIsClampedToItsRangeAndShownInTheBuddy)
{
    struct Row {
        int requested;
        int position;
    };
    const std::vector<Row> rows = {{1, 1}, {42, 42}, {600, 600}, {601, 600}, {0, 1}, {-5, 1}, {100000, 600}};
    for (const Row &row : rows) {
        upDown.setValue(row.requested);
        EXPECT_EQ(upDown.value(), row.position) << row.requested;
        EXPECT_EQ(buddy.text(), QString::number(row.position)) << row.requested;
    }
}

TEST_F(UpDownFixture, ArrowsAndKeysStepByOneWithinTheRange)
{
    int changes = 0;
    QObject::connect(&upDown, &UpDownControl::valueChanged, [&] { ++changes; });
    pressKey(Qt::Key_Down); // already at the minimum
    EXPECT_EQ(upDown.value(), 1);
    EXPECT_EQ(changes, 0);

    pressKey(Qt::Key_Up);
    pressKey(Qt::Key_Up);
    EXPECT_EQ(upDown.value(), 3);
    EXPECT_EQ(buddy.text(), QStringLiteral("3"));

    auto arrows = upDown.findChildren<QToolButton *>();
    ASSERT_EQ(arrows.size(), 2);
    for (QToolButton *arrow : arrows) {
        if (arrow->arrowType() == Qt::DownArrow)
            arrow->click();
    }
    EXPECT_EQ(upDown.value(), 2);
    EXPECT_EQ(changes, 3);

    upDown.setValue(600);
    upDown.stepUp();
    EXPECT_EQ(upDown.value(), 600);
    // Typing is not possible: the buddy stays read-only and only the arrows move the position.
    EXPECT_TRUE(buddy.isReadOnly());
}

TEST_F(UpDownFixture, NarrowingTheRangeMovesThePositionInside)
{
    upDown.setValue(500);
    upDown.setMaximum(100);
    EXPECT_EQ(upDown.value(), 100);
    EXPECT_EQ(buddy.text(), QStringLiteral("100"));
    upDown.setMinimum(200); // a minimum above the maximum lifts the maximum with it
    EXPECT_EQ(upDown.minimum(), 200);
    EXPECT_EQ(upDown.maximum(), 200);
    EXPECT_EQ(upDown.value(), 200);
}

TEST(LampWidget, IsSilverUntilColouredAndPaintsItsColour)
{
    LampWidget lamp;
    lamp.resize(30, 30);
    EXPECT_EQ(lamp.brushColor(), QColor(192, 192, 192));
    lamp.setBrushColor(QColor(0, 0, 255));
    EXPECT_EQ(lamp.brushColor(), QColor(0, 0, 255));
    const QImage picture = lamp.grab().toImage();
    EXPECT_EQ(picture.pixelColor(15, 15), QColor(0, 0, 255));
    // Outside the circle the lamp leaves the background alone.
    EXPECT_NE(picture.pixelColor(0, 0), QColor(0, 0, 255));
}
