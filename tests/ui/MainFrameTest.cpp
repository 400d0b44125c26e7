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

TEST_F(MainFrameTest, PlacedFromSettingsAndShapedByTheSkinsOutline) {
    EXPECT_EQ(frame->geometry(), QRect(40, 30, 640, 470));
    EXPECT_EQ(frame->View()->geometry(), QRect(0, 22, 640, 448));
    for (const auto& [point, inside] : {std::pair{QPoint(0, 0), false},
                                        {QPoint(639, 469), false},
                                        {QPoint(320, 10), true},
                                        {QPoint(0, 200), true},
                                        {QPoint(639, 459), true}})
        EXPECT_EQ(frame->WindowRegion().contains(point), inside) << point.x() << "," << point.y();
}

TEST_F(MainFrameTest, TitleBarPressesCloseMinimizeAndDrag) {
    for (const auto& [x, area] : {std::pair{620, TitleArea::Close},
                                  {590, TitleArea::Minimize},
                                  {600, TitleArea::Drag},
                                  {10, TitleArea::SystemMenu}})
        EXPECT_EQ(HitTestTitle(x, 10), area) << x;

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
