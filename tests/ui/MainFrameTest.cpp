// The frame's title bar, dragging and shut-down; its outline and active title are frozen in the
// screen pictures' hashes.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>

#include "ui/CMainFrame.h"
#include "ui/DemoScene.h"
#include "ui/PlayerStateRecord.h"

namespace zeblo {
namespace {

struct MainFrameTest : ::testing::Test {
    MainFrameTest() {
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        settings.windowLeft = 40;
        settings.windowTop = 30;
        const FrameHooks hooks{[this] { return ++saves, saveWorks; },
                               [this](const QString& text) { boxes << text; }};
        frame = std::make_unique<CMainFrame>(skin, settings, player, waves, nullptr, hooks);
        frame->show();
        QApplication::processEvents();
    }
    void Press(int x) {
        QTest::mousePress(frame.get(), Qt::LeftButton, {}, QPoint(x, 10));
        QApplication::processEvents();
    }
    ZBDIBSection skin;
    SettingsRecord settings = DefaultSettings();
    PlayerStateRecord player{1000};
    DemoWaveforms waves;
    int saves = 0;
    bool saveWorks = false;
    QStringList boxes;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, TheTitleBarDragsWithinTheWorkAreaMinimizesAndCloses) {
    EXPECT_EQ(frame->pos(), QPoint(40, 30));
    // Close, minimise and drag are pressed below.
    EXPECT_EQ(HitTestTitle(10, 10), TitleArea::SystemMenu);
    Press(600);
    QTest::mouseMove(frame.get(), QPoint(650, 40));
    EXPECT_EQ(frame->pos(), QPoint(90, 60));
    const QRect work = frame->screen()->availableGeometry();
    QTest::mouseMove(frame.get(), QPoint(work.right() + 500, 10));
    EXPECT_EQ(frame->pos().x() + 600, work.right()) << "the cursor point stays inside";
    QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, QPoint(600, 10));
    EXPECT_FALSE(frame->Dragging());
    Press(590);
    EXPECT_TRUE(frame->isMinimized());
    frame->showNormal();
    frame->move(123, 77);
    Press(620);
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(frame->View(), nullptr);
    frame->ShutDown();  // runs once
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(QPoint(settings.windowLeft, settings.windowTop), QPoint(123, 77));
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("設定ファイル(ZEBLOPreferences.bin)")));
}

}  // namespace
}  // namespace zeblo
