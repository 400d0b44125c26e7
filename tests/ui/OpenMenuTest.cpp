// Opening songs from the window: the recent list across restarts, the Open dialog and the
// right-click menu, each answered by a timer while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QFileDialog>
#include <QMenu>
#include <QTimer>
#include <QWidget>

#include "support/TempDir.h"
#include "ui/OpenMenu.h"

namespace zeblo {
namespace {

template <typename T>
T* Find(const char* name) {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* found = qobject_cast<T*>(w); found && found->objectName() == name) return found;
    return nullptr;
}

TEST(OpenMenu, TheRecentListSurvivesARestartAndTheDialogAndMenuPlayWhatIsChosen) {
    test::TempDir dir;
    const QString folder = QString::fromStdString(dir.File("state/zeblo"));
    const QString songs = QDir::cleanPath(QString::fromStdString(dir.File("")));
    {
        RecentSongs recent(folder);
        EXPECT_TRUE(recent.Songs().isEmpty());
        for (int i = 0; i < 12; ++i) recent.Add(songs + QString("/%1.mid").arg(i));
        recent.Add(songs + "/5.mid");
    }
    RecentSongs recent(folder);
    ASSERT_EQ(recent.Songs().size(), RecentSongs::kMaximum);
    EXPECT_EQ(recent.Songs().mid(0, 3),
              QStringList({songs + "/5.mid", songs + "/11.mid", songs + "/10.mid"}));
    EXPECT_FALSE(recent.Songs().contains(songs + "/1.mid"));
    EXPECT_EQ(recent.LastFolder(), songs);

    QWidget window;
    QStringList played;
    bool about = false;
    OpenMenu menu(window, recent,
                  {[&](const QString& p) { played << p; }, {}, [&] { about = true; }, {}});
    const QString chosen = QString::fromStdString(dir.File("chosen.mid"));
    QFile(chosen).open(QIODevice::WriteOnly);
    QString startFolder;
    QTimer::singleShot(0, [&] {
        QFileDialog* dialog = Find<QFileDialog>("OpenDialog");
        ASSERT_TRUE(dialog);
        startFolder = dialog->directory().absolutePath();
        dialog->selectFile(chosen);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    menu.ShowOpenDialog();
    EXPECT_EQ(startFolder, songs);

    window.installEventFilter(&menu);
    for (const QString entry : {"Recent", "About"}) {
        QTimer::singleShot(0, [&] {
            QMenu* m = Find<QMenu>("WindowMenu");
            ASSERT_TRUE(m);
            for (QAction* a : m->actions())
                if (a->text() == entry) (a->menu() ? a->menu()->actions().front() : a)->trigger();
            m->close();
        });
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
        QCoreApplication::sendEvent(&window, &event);
    }
    EXPECT_EQ(played, QStringList({chosen, songs + "/5.mid"}));
    EXPECT_TRUE(about);
}

}  // namespace
}  // namespace zeblo
