#include "ui/TerminationSignals.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <QApplication>
#include <QSocketNotifier>
#include <cerrno>

namespace zeblo {
namespace {

// A signal handler can only write to a pipe, hence the statics.
int wakePipe[2] = {-1, -1};
bool endRequested = false;

extern "C" void WriteWakeByte(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(wakePipe[1], &byte, 1);
    errno = saved;
}

void OnWake() {
    // Drained every time: a byte left in the pipe would wake every loop again at once, for ever.
    char bytes[16];
    while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
    }
    endRequested = true;
    // Every running loop returns once control is back in it: a box's or a dialog's (which then
    // answers as if cancelled), a menu's, and the application's own last. No window is closed
    // from in here, where a nested loop's caller may still be using it.
    QCoreApplication::exit(0);
}

}  // namespace

void EndOnTerminationSignals(QApplication& app) {
    if (wakePipe[0] >= 0 || pipe2(wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { OnWake(); });
    struct sigaction action {};
    action.sa_handler = WriteWakeByte;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGTERM, SIGINT, SIGHUP}) sigaction(signal, &action, nullptr);
}

bool EndRequested() {
    return endRequested;
}

}  // namespace zeblo
