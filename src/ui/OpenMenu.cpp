#include "ui/OpenMenu.h"

#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QSaveFile>

namespace zeblo {

RecentSongs::RecentSongs(QString folder) : file_(folder + QStringLiteral("/recent")) {
    QFile in(file_);
    if (!in.open(QIODevice::ReadOnly)) return;
    for (const QByteArray& line : in.readAll().split('\n'))
        if (!line.isEmpty() && songs_.size() < kMaximum) songs_ << QString::fromUtf8(line);
}

QString RecentSongs::DefaultFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty()) state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/zeblo");
}

void RecentSongs::Add(const QString& path) {
    if (path.isEmpty() || (!songs_.isEmpty() && songs_.front() == path)) return;
    songs_.removeAll(path);
    songs_.prepend(path);
    while (songs_.size() > kMaximum) songs_.removeLast();
    QDir().mkpath(QFileInfo(file_).path());
    QSaveFile out(file_);
    if (!out.open(QIODevice::WriteOnly)) return;
    out.write(songs_.join('\n').toUtf8() + '\n');
    out.commit();
}

QString RecentSongs::LastFolder() const {
    return songs_.isEmpty() ? QDir::homePath() : QFileInfo(songs_.front()).path();
}

void OpenMenu::ShowOpenDialog() {
    QFileDialog dialog(&window_, QStringLiteral("Open"), recent_.LastFolder(),
                       QStringLiteral("MIDI files (*.mid *.midi *.MID *.rmi *.RMI);;"
                                      "RCP songs (*.rcp *.r36 *.g36 *.RCP *.R36 *.G36);;"
                                      "All files (*)"));
    dialog.setObjectName(QStringLiteral("OpenDialog"));
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    if (actions_.play) actions_.play(dialog.selectedFiles().front());
}

void OpenMenu::ShowMenu(const QPoint& at) {
    QMenu menu(&window_);
    menu.setObjectName(QStringLiteral("WindowMenu"));
    menu.addAction(QStringLiteral("Open..."), this, &OpenMenu::ShowOpenDialog);
    QMenu* recent = menu.addMenu(QStringLiteral("Recent"));
    recent->setEnabled(!recent_.Songs().isEmpty());
    for (const QString& song : recent_.Songs())
        recent->addAction(QFileInfo(song).fileName(), this, [this, song] {
            if (actions_.play) actions_.play(song);
        });
    menu.addSeparator();
    for (const auto& [name, action] :
         {std::pair(QStringLiteral("Preferences"), &actions_.preferences),
          std::pair(QStringLiteral("About"), &actions_.about),
          std::pair(QStringLiteral("Quit"), &actions_.quit)}) {
        menu.addAction(name, this, [action = action] {
            if (*action) (*action)();
        });
    }
    menu.exec(at);
}

bool OpenMenu::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ContextMenu) return QObject::eventFilter(watched, event);
    ShowMenu(static_cast<QContextMenuEvent*>(event)->globalPos());
    return true;
}

}  // namespace zeblo
