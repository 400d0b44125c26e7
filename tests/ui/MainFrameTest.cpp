#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTest>

#include "settings/SettingsRecord.h"
#include "ui/CMainFrame.h"
#include "ui/CPlayerView.h"
#include "ui/PlayerStateRecord.h"

namespace zeblo {
namespace {

class NoWaves : public WaveformResolver {
public:
    const int8_t* Samples(uint32_t) const override { return nullptr; }
};

class MainFrameTest : public ::testing::Test {
protected:
    MainFrameTest() : player(1000) {
        EXPECT_TRUE(skin.LoadBitmapResource(":/zeblo/skin.png"));
        settings.windowLeft = 40;
        settings.windowTop = 30;
        FrameHooks hooks;
        hooks.saveSettings = [this] {
            ++saves;
            savedLeft = settings.windowLeft;
            return saveWorks;
        };
        hooks.messageBox = [this](const QString& text) { boxes << text; };
        frame = std::make_unique<CMainFrame>(skin, settings, player, waves, nullptr, hooks);
        frame->show();
        QApplication::processEvents();
    }

    ZBDIBSection skin;
    SettingsRecord settings = DefaultSettings();
    PlayerStateRecord player;
    NoWaves waves;
    int saves = 0;
    int savedLeft = 0;
    bool saveWorks = true;
    QStringList boxes;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, PlacedFromSettingsWithTheViewBelowTheTitle) {
    EXPECT_EQ(frame->pos(), QPoint(40, 30));
    EXPECT_EQ(frame->size(), QSize(640, 470));
    EXPECT_EQ(frame->View()->geometry(), QRect(0, 22, 640, 448));
}

TEST_F(MainFrameTest, OutlineCutsTheCornersOnly) {
    const QRegion& r = frame->WindowRegion();
    EXPECT_FALSE(r.contains(QPoint(0, 0)));
    EXPECT_FALSE(r.contains(QPoint(639, 469)));
    EXPECT_TRUE(r.contains(QPoint(320, 10)));
    EXPECT_TRUE(r.contains(QPoint(0, 200)));
    EXPECT_TRUE(r.contains(QPoint(639, 469 - 10)));
}

TEST_F(MainFrameTest, TitleBarPressesCloseMinimizeAndDrag) {
    EXPECT_EQ(HitTestTitle(620, 10), TitleArea::Close);
    EXPECT_EQ(HitTestTitle(590, 10), TitleArea::Minimize);
    EXPECT_EQ(HitTestTitle(600, 10), TitleArea::Drag);
    EXPECT_EQ(HitTestTitle(10, 10), TitleArea::SystemMenu);

    QTest::mousePress(frame.get(), Qt::LeftButton, {}, QPoint(600, 10));
    EXPECT_TRUE(frame->Dragging());
    QTest::mouseMove(frame.get(), QPoint(650, 40));
    EXPECT_EQ(frame->pos(), QPoint(90, 60));
    QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, QPoint(650, 40));
    EXPECT_FALSE(frame->Dragging());

    QTest::mousePress(frame.get(), Qt::LeftButton, {}, QPoint(590, 10));
    QApplication::processEvents();
    EXPECT_TRUE(frame->isMinimized());
    frame->showNormal();

    QTest::mousePress(frame.get(), Qt::LeftButton, {}, QPoint(620, 10));
    QApplication::processEvents();
    EXPECT_FALSE(frame->isVisible());
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(frame->View(), nullptr);
}

TEST_F(MainFrameTest, DraggingKeepsTheCursorPointInsideTheWorkArea) {
    const QRect work = frame->screen()->availableGeometry();
    QTest::mousePress(frame.get(), Qt::LeftButton, {}, QPoint(300, 10));
    QTest::mouseMove(frame.get(), QPoint(work.right() + 500 - 40, 10));
    EXPECT_EQ(frame->pos().x() + 300, work.right());
    EXPECT_EQ(frame->size(), QSize(640, 470));
    QTest::mouseRelease(frame.get(), Qt::LeftButton, {}, QPoint(10, 10));
}

TEST_F(MainFrameTest, ShutDownStoresThePositionOnceAndReportsAFailedSave) {
    saveWorks = false;
    frame->move(123, 77);
    frame->ShutDown();
    frame->ShutDown();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(savedLeft, 123);
    EXPECT_EQ(settings.windowTop, 77);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0].startsWith(QString::fromUtf8("設定ファイル(ZEBLOPreferences.bin)")));
}

TEST_F(MainFrameTest, InactiveTitleUsesItsOwnPicture) {
    frame->SetActiveLook(true);
    const QImage active = frame->Snapshot();
    frame->SetActiveLook(false);
    const QImage inactive = frame->Snapshot();
    EXPECT_NE(active.copy(0, 0, 640, 22), inactive.copy(0, 0, 640, 22));
    EXPECT_EQ(active.copy(0, 22, 640, 448), inactive.copy(0, 22, 640, 448));
    EXPECT_EQ(qAlpha(active.pixel(0, 0)), 0);  // outside the outline
}

}  // namespace
}  // namespace zeblo
