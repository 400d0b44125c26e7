#include <fcntl.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <signal.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "ipc/HandoffProtocol.h"
#include "ipc/SingleInstance.h"
#include "settings/TempFolder.h"

namespace zeblo {
namespace {

using testing::TempFolder;
using Result = SingleInstance::HandOverResult;
using Role = SingleInstance::Role;

// What the first instance's view received: the message and the handed-over path at that moment.
struct Received {
    uint32_t message;
    std::string path;
};

class Handoff : public ::testing::Test {
protected:
    std::string Folder() const { return folder.File("instance"); }

    // Runs `work` on another thread while this one runs the event loop, as two processes would.
    template <typename Work>
    void WhileServing(Work work) {
        std::atomic<bool> done{false};
        std::thread other([&] {
            work();
            done = true;
        });
        QElapsedTimer clock;
        clock.start();
        while (!done && clock.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        other.join();
        QCoreApplication::processEvents();
    }

    void StartFirst(SingleInstance& first) {
        ASSERT_EQ(first.Start(), Role::First);
        ASSERT_TRUE(first.Listen());
    }

    void Serve(SingleInstance& first) {
        first.Serve(4242, [this, &first](uint32_t message) {
            received.push_back({message, first.ReadSharedPath().value_or("<none>")});
            return 0;
        });
    }

    TempFolder folder;
    std::vector<Received> received;
};

TEST_F(Handoff, LaterInstanceStoresThePathThenSendsStopAndPlayShared) {
    SingleInstance first(Folder());
    StartFirst(first);
    Serve(first);
    EXPECT_EQ(first.Block().Identification(), 4242u);
    EXPECT_TRUE(first.Block().HasSignature());

    SingleInstance later(Folder());
    ASSERT_EQ(later.Start(), Role::Later);
    Result result = Result::NoAnswer;
    WhileServing([&] { result = later.HandOver("/music/new song.mid"); });
    EXPECT_EQ(result, Result::Delivered);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].message, kMessageStopPlay);
    EXPECT_EQ(received[1].message, kMessagePlayShared);
    EXPECT_EQ(received[1].path, "/music/new song.mid");

    // Without a file the first instance is asked to play an empty path.
    SingleInstance third(Folder());
    ASSERT_EQ(third.Start(), Role::Later);
    WhileServing([&] { result = third.HandOver(""); });
    EXPECT_EQ(result, Result::Delivered);
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[3].message, kMessagePlayShared);
    EXPECT_EQ(received[3].path, "");
}

TEST_F(Handoff, TooLongPathIsRefusedBeforeAnythingIsSent) {
    SingleInstance first(Folder());
    StartFirst(first);
    Serve(first);
    SingleInstance later(Folder());
    ASSERT_EQ(later.Start(), Role::Later);
    Result result = Result::Delivered;
    WhileServing([&] { result = later.HandOver(std::string(kSharedPathLimit, 'p')); });
    EXPECT_EQ(result, Result::Refused);
    EXPECT_TRUE(received.empty());

    SingleInstance fits(Folder());
    ASSERT_EQ(fits.Start(), Role::Later);
    const std::string longest = "/" + std::string(kSharedPathLimit - 2, 'q');
    WhileServing([&] { result = fits.HandOver(longest); });
    EXPECT_EQ(result, Result::Delivered);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].path, longest);
}

TEST_F(Handoff, ALaterInstanceWaitsForTheViewAndGivesUpWhenItNeverComes) {
    SingleInstance first(Folder());
    StartFirst(first);
    SingleInstance later(Folder());
    ASSERT_EQ(later.Start(), Role::Later);
    Result result = Result::NoAnswer;
    QTimer::singleShot(200, [&] { Serve(first); });
    WhileServing([&] { result = later.HandOver("/a.mid"); });
    EXPECT_EQ(result, Result::Delivered);
    EXPECT_EQ(received.size(), 2u);

    TempFolder other;
    SingleInstance idle(other.File("x"));
    ASSERT_EQ(idle.Start(), Role::First);
    ASSERT_TRUE(idle.Listen());  // never served: its view does not exist
    SingleInstance asking(other.File("x"));
    ASSERT_EQ(asking.Start(), Role::Later);
    QElapsedTimer clock;
    clock.start();
    WhileServing([&] { result = asking.HandOver("/b.mid", 300); });
    EXPECT_EQ(result, Result::NoAnswer);
    EXPECT_LT(clock.elapsed(), 5000);
}

TEST_F(Handoff, ForeignFramesGetNoMessageThrough) {
    SingleInstance first(Folder());
    StartFirst(first);
    Serve(first);
    std::string answers;
    WhileServing([&] {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, first.SocketPath().c_str());
        ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        char header[kSharedHeaderSize];
        ASSERT_EQ(recv(fd, header, sizeof header, MSG_WAITALL), ssize_t(sizeof header));
        EXPECT_EQ(std::string(header, 5), "ZEBLO");
        // An unknown kind is answered -1; an oversized frame ends the connection.
        const std::string unknown = EncodeFrame(77);
        send(fd, unknown.data(), unknown.size(), MSG_NOSIGNAL);
        char answer[4];
        ASSERT_EQ(recv(fd, answer, 4, MSG_WAITALL), 4);
        EXPECT_EQ(DecodeResult(answer), -1);
        const std::string huge("\x01\x00\x00\x00\x00\x00\x01\x00", 8);
        send(fd, huge.data(), huge.size(), MSG_NOSIGNAL);
        const std::string play = EncodeFrame(kMessagePlayShared);
        send(fd, play.data(), play.size(), MSG_NOSIGNAL);
        timeval wait{5, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        // Closed, not answered. The close reads as a reset instead of an end of stream when the
        // play frame was still unread in the player's buffer: both mean no answer came.
        errno = 0;
        const ssize_t got = recv(fd, answer, 4, MSG_WAITALL);
        EXPECT_TRUE(got == 0 || (got == -1 && errno == ECONNRESET))
            << "recv returned " << got << " errno " << errno;
        close(fd);
    });
    EXPECT_TRUE(received.empty());
}

TEST_F(Handoff, LeftoversOfAKilledInstanceDoNotLockALaterStartOut) {
    SingleInstance probe(Folder());
    ASSERT_EQ(probe.Start(), Role::First);  // makes the folder
    ASSERT_TRUE(probe.Close());
    const std::string socketPath = probe.SocketPath();
    const std::string lockPath = probe.LockPath();

    // A first instance in another process: it holds the lock and listens, then is killed.
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int lock = open(lockPath.c_str(), O_RDWR | O_CREAT, 0600);
        flock(lock, LOCK_EX);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strcpy(address.sun_path, socketPath.c_str());
        unlink(socketPath.c_str());
        bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(fd, 4);
        const char c = 1;
        (void)!write(ready[1], &c, 1);
        for (;;) pause();
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    close(ready[0]);
    close(ready[1]);

    SingleInstance blocked(Folder());
    EXPECT_EQ(blocked.Start(200), Role::Later);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    struct stat info {};
    ASSERT_EQ(lstat(socketPath.c_str(), &info), 0) << "the killed instance's socket stays";

    SingleInstance next(Folder());
    ASSERT_EQ(next.Start(200), Role::First);
    ASSERT_TRUE(next.Listen());
    Serve(next);
    SingleInstance later(Folder());
    ASSERT_EQ(later.Start(), Role::Later);
    Result result = Result::NoAnswer;
    WhileServing([&] { result = later.HandOver("/after/crash.mid"); });
    EXPECT_EQ(result, Result::Delivered);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].path, "/after/crash.mid");
}

TEST_F(Handoff, ClosingGivesThePlaceToTheNextProcessAndReopenTakesItBack) {
    SingleInstance first(Folder());
    StartFirst(first);
    Serve(first);
    ASSERT_TRUE(first.Close());
    EXPECT_FALSE(first.ReadSharedPath().has_value());
    EXPECT_FALSE(first.Close());

    {
        SingleInstance restarted(Folder());
        EXPECT_EQ(restarted.Start(200), Role::First);
        EXPECT_FALSE(first.Reopen());  // taken meanwhile
    }

    SingleInstance old(Folder());
    StartFirst(old);
    Serve(old);
    ASSERT_TRUE(old.Close());
    ASSERT_TRUE(old.Reopen());
    SingleInstance later(Folder());
    ASSERT_EQ(later.Start(), Role::Later);
    Result result = Result::NoAnswer;
    WhileServing([&] { result = later.HandOver("/again.mid"); });
    EXPECT_EQ(result, Result::Delivered);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[1].path, "/again.mid");
}

TEST_F(Handoff, TheFolderIsPrivateToTheUser) {
    ASSERT_EQ(mkdir(Folder().c_str(), 0755), 0);
    SingleInstance first(Folder());
    ASSERT_EQ(first.Start(), Role::First);
    struct stat info {};
    ASSERT_EQ(stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    const std::string file = folder.File("plain-file");
    testing::WriteBytes(file, "x", 1);
    SingleInstance notAFolder(file);
    EXPECT_EQ(notAFolder.Start(), Role::CreateFailed);

    const std::string link = folder.File("link");
    ASSERT_EQ(symlink(Folder().c_str(), link.c_str()), 0);
    SingleInstance throughLink(link);
    EXPECT_EQ(throughLink.Start(), Role::CreateFailed);

    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_TRUE(PeerIsSameUser(pair[0]));
    close(pair[0]);
    close(pair[1]);
    EXPECT_FALSE(PeerIsSameUser(-1));
}

}  // namespace
}  // namespace zeblo
