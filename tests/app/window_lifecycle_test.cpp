#include "error_box.h"
#include "window_fixture.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>

#include <gmock/gmock.h>

#include <stdexcept>

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

class WindowLifecycle : public WindowFixture {};

class ErrorBoxCapture : public WindowFixture {};

} // namespace

TEST_F(WindowLifecycle, StartUpLeavesTheWindowInItsInitialState)
{
    TFMain &w = window();
    EXPECT_THAT(errors(), IsEmpty());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("TORVEX PC [STANDARD] - 1.01"));
    EXPECT_TRUE(control<QPlainTextEdit>("DebugMemo")->isHidden());
    EXPECT_EQ(control<QTabWidget>("PageControl1")->currentWidget()->objectName(), QStringLiteral("TabSheet1"));
    EXPECT_TRUE(w.chartRunning);
    EXPECT_FALSE(w.loggingActive);
    EXPECT_EQ(w.pos(), QPoint(0, 0));

    // The language picker sits at the right end of the status bar, beyond the four panels.
    auto *picker = control<QComboBox>("LangCombo1");
    EXPECT_EQ(picker->parentWidget(), w.statusBar());
    EXPECT_EQ(w.statusBar()->geometry(), QRect(0, 510, 700, 24));
    EXPECT_EQ(picker->geometry(), QRect(700 - 115, 2, 100, 22));
    EXPECT_FALSE(picker->isHidden());
}

TEST_F(WindowLifecycle, ChannelTablesAddressTheControlsInChannelOrder)
{
    TFMain &w = window();
    auto names = [](const auto &table) {
        QStringList list;
        for (const QObject *control : table)
            list.append(control ? control->objectName() : QStringLiteral("<null>"));
        return list.join(u' ');
    };
    EXPECT_EQ(names(w.encModeTable), "enc_mode_1 enc_mode_2 enc_mode_3");
    EXPECT_EQ(names(w.encClearTable), "enc_clear_1 enc_clear_2 enc_clear_3");
    EXPECT_EQ(names(w.encTimeTable), "enc_time_1 enc_time_2 enc_time_3");
    EXPECT_EQ(names(w.encResolutionTable), "enc_resolution_1 enc_resolution_2 enc_resolution_3");
    EXPECT_EQ(names(w.encCoeffTable), "enc_coeff_1 enc_coeff_2 enc_coeff_3");
    EXPECT_EQ(names(w.encOffsetTable), "enc_offset_1 enc_offset_2 enc_offset_3");
    EXPECT_EQ(names(w.outSourceTable), "out1_W out2_W out3_W out4_W");
    EXPECT_EQ(names(w.outConditionTable), "out1_B out2_B out3_B out4_B");
    EXPECT_EQ(names(w.outValueTable), "out1_N out2_N out3_N out4_N");
    EXPECT_EQ(names(w.outStateTable), "out1_S out2_S out3_S out4_S");
    EXPECT_EQ(names(w.trigTypeTable), "trig_master_type_1 trig_master_type_2 trig_master_type_3");
}

TEST_F(WindowLifecycle, WindowRefusesEveryResize)
{
    TFMain &w = window();
    w.show();
    processEvents();
    EXPECT_EQ(w.size(), QSize(700, 534));
    for (const QSize request : {QSize(800, 600), QSize(300, 200), QSize(700, 600), QSize(10000, 10000)}) {
        w.resize(request);
        processEvents();
        EXPECT_EQ(w.size(), QSize(700, 534)) << request.width() << "x" << request.height();
        EXPECT_FALSE(w.FormCanResize(request.width(), request.height()));
    }
    EXPECT_FALSE(w.windowFlags().testFlag(Qt::WindowMaximizeButtonHint));
    EXPECT_TRUE(w.windowFlags().testFlag(Qt::WindowMinimizeButtonHint));
    // Moving stays allowed.
    w.move(40, 30);
    EXPECT_EQ(w.pos(), QPoint(40, 30));
}

TEST_F(WindowLifecycle, ErrorInAStartUpStepEndsStartUpThereAndTheWindowStillOpens)
{
    std::vector<int> stepsRun;
    options().beforeStartupStep = [&](int step) {
        stepsRun.push_back(step);
        if (step == 9)
            throw std::runtime_error("'abc' is not a valid integer value");
    };
    TFMain &w = window();
    EXPECT_THAT(errors(), ElementsAre(QStringLiteral("'abc' is not a valid integer value.")));
    EXPECT_EQ(stepsRun, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    // Steps before the failure are done, the failing one and the later ones are not.
    EXPECT_EQ(w.windowTitle(), QStringLiteral("TORVEX PC [STANDARD] - 1.01"));
    auto *pages = control<QTabWidget>("PageControl1");
    EXPECT_TRUE(pages->isTabVisible(pages->indexOf(w.findChild<QWidget *>("TabSheet2"))));
    EXPECT_FALSE(w.chartRunning);

    w.show();
    processEvents();
    EXPECT_TRUE(w.isVisible());
}

TEST_F(WindowLifecycle, StartUpRunsEveryStepInOrder)
{
    std::vector<int> stepsRun;
    options().beforeStartupStep = [&](int step) { stepsRun.push_back(step); };
    window();
    EXPECT_EQ(stepsRun, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
}

TEST_F(WindowLifecycle, ExceptionFromAnEventGoesToTheErrorBoxAndTheLoopGoesOn)
{
    window();
    bool laterEventRan = false;
    // A timer event is delivered through the application object, like clicks and device events.
    QTimer::singleShot(0, &window(), [] { throw std::runtime_error("device failure"); });
    QTimer::singleShot(0, &window(), [] { throw 42; });
    QTimer::singleShot(0, &window(), [&] { laterEventRan = true; });
    for (int i = 0; i < 5 && !laterEventRan; ++i)
        processEvents();
    EXPECT_TRUE(laterEventRan);
    // Each error is shown exactly once; a thrown non-error shows an empty message.
    EXPECT_THAT(errors(), ElementsAre(QStringLiteral("device failure."), QString()));
}

TEST_F(WindowLifecycle, ClosingRunsFormCloseAndEndsTheWindow)
{
    TFMain &w = window();
    w.show();
    processEvents();
    EXPECT_TRUE(w.close());
    EXPECT_FALSE(w.isVisible());
    EXPECT_THAT(errors(), IsEmpty());
}

TEST(ErrorBoxText, FullStopFollowsTheCharacterOrderRule)
{
    struct Row {
        const char *message;
        const char *shown;
    };
    const Row rows[] = {
        {"Cannot write settings", "Cannot write settings."},
        {"value 42", "value 42."},
        {"Is it?", "Is it?."},
        {"Done.", "Done."},
        {"Stop!", "Stop!"},
        {"(see log)", "(see log)"},
        {"Value must be within [1..2]!", "Value must be within [1..2]!"},
        {"range [1..2]", "range [1..2]."},
        {"trailing space ", "trailing space "},
        {"dash-", "dash-"},
        {"slash/", "slash/."},
        {"", ""},
        {"zażółć", "zażółć."},
    };
    for (const Row &row : rows)
        EXPECT_EQ(torvex::errorBoxText(QString::fromUtf8(row.message)), QString::fromUtf8(row.shown)) << row.message;
}

TEST_F(ErrorBoxCapture, HandlerErrorsAreShownOnceAndReportedAsFailed)
{
    EXPECT_FALSE(torvex::runHandler([] { throw std::invalid_argument("bad value"); }));
    EXPECT_TRUE(torvex::runHandler([] {}));
    EXPECT_FALSE(torvex::runHandler([] { throw "not an error object"; }));
    EXPECT_THAT(errors(), ElementsAre(QStringLiteral("bad value."), QString()));
}

TEST_F(ErrorBoxCapture, ButtonHandlerErrorDoesNotStopLaterClicks)
{
    QPushButton button;
    int clicks = 0;
    QObject::connect(&button, &QPushButton::clicked, [&] {
        torvex::runHandler([&] {
            ++clicks;
            throw std::runtime_error("write failed");
        });
    });
    button.click();
    button.click();
    EXPECT_EQ(clicks, 2);
    EXPECT_THAT(errors(), ElementsAre(QStringLiteral("write failed."), QStringLiteral("write failed.")));
}

TEST_F(ErrorBoxCapture, HeldBoxesAreShownLaterInTheOrderRaisedEachTextOnce)
{
    {
        torvex::HeldErrorBoxes held;
        torvex::showErrorBox(QStringLiteral("write failed"));
        torvex::showErrorBox(QStringLiteral("bad value"));
        torvex::showErrorBox(QStringLiteral("write failed"));
        {
            // An inner holder that ends hands its boxes to the outer one.
            torvex::HeldErrorBoxes inner;
            torvex::showErrorBox(QStringLiteral("inner"));
            torvex::showErrorBox(QStringLiteral("bad value"));
        }
        EXPECT_THAT(errors(), IsEmpty());
        held.show();
        EXPECT_THAT(
            errors(),
            ElementsAre(QStringLiteral("write failed."), QStringLiteral("bad value."), QStringLiteral("inner.")));
        // After show() boxes are no longer held.
        torvex::showErrorBox(QStringLiteral("later"));
        EXPECT_EQ(errors().size(), 4);
    }
    EXPECT_EQ(errors().size(), 4);

    clearErrors();
    {
        torvex::HeldErrorBoxes forgotten;
        torvex::showErrorBox(QStringLiteral("not lost"));
    }
    EXPECT_THAT(errors(), ElementsAre(QStringLiteral("not lost.")));
}
