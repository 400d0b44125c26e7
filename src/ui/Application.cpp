#include "ui/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QStringList>

#include "settings/SettingsRecord.h"
#include "ui/CMainFrame.h"
#include "ui/DemoScene.h"
#include "ui/PlayerStateRecord.h"
#include "ui/ScreenShots.h"
#include "ui/ZBDIBSection.h"

namespace zeblo {

namespace {
constexpr std::size_t kIdleRingSize = 1000;
}

int RunApplication(int argc, char** argv) {
    const bool screens = argc >= 3 && QByteArray(argv[1]) == "--screens";
    if (screens) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ZEBLO"));

    ZBDIBSection skin;
    if (!skin.LoadBitmapResource(QStringLiteral(":/zeblo/skin.png"))) {
        QMessageBox::critical(nullptr, QStringLiteral("ZEBLO"),
                              QStringLiteral("The skin image could not be loaded."));
        return 1;
    }
    if (screens) return WriteScreens(QString::fromLocal8Bit(argv[2]), skin);

    // Until the playback layer provides the real player, the window shows an idle player.
    SettingsRecord settings = DefaultSettings();
    PlayerStateRecord player(kIdleRingSize);
    DemoWaveforms waves;
    CMainFrame frame(skin, settings, player, waves, nullptr, FrameHooks{});
    frame.show();
    return app.exec();
}

}  // namespace zeblo
