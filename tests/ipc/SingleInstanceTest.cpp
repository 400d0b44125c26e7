#include <gtest/gtest.h>
#include <sys/fsuid.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "ipc/CommandLineFile.h"
#include "ipc/HandoffProtocol.h"
#include "ipc/SharedBlock.h"
#include "ipc/SingleInstance.h"
#include "support/TempDir.h"

namespace zeblo {
namespace {

using namespace std::string_literals;
using Result = SingleInstance::HandOverResult;
using Role = SingleInstance::Role;

int ConnectTo(const std::string& socketPath) {
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, socketPath.c_str());
    timeval wait{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    close(fd);
    return -1;
}

class Handoff : public ::testing::Test {
protected:
    std::string Folder() const { return dir.File("instance"); }

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

    // Listens and, with `serve`, acts as a view that notes each message with the block's path.
    void StartFirst(SingleInstance& first, bool serve = true) {
        ASSERT_EQ(first.Start(), Role::First);
        ASSERT_TRUE(first.Listen());
        if (serve) Serve(first);
    }
    void Serve(SingleInstance& first) {
        first.Serve(4242, [this, &first](uint32_t message) {
            received += std::to_string(message) + " " + first.ReadSharedPath().value_or("-") + "\n";
            return 0;
        });
    }

    Result HandOver(const std::string& path, int headerWaitMs = kHeaderWaitMs) {
        SingleInstance later(Folder());
        EXPECT_EQ(later.Start(), Role::Later);
        Result result = Result::NoAnswer;
        WhileServing([&] { result = later.HandOver(path, headerWaitMs); });
        return result;
    }

    test::TempDir dir;
    std::string received;
};

TEST_F(Handoff, TheLaterInstanceStoresItsPathThenSendsStopAndPlayShared) {
    SingleInstance first(Folder());
    StartFirst(first);
    EXPECT_EQ(first.Block().Identification(), 4242u);
    const std::string longest = "/" + std::string(kSharedPathLimit - 2, 'q');
    for (const std::string& path : {std::string("/music/new song.mid"), longest, std::string(),
                                    std::string(kSharedPathLimit, 'p')}) {
        received.clear();
        const bool fits = path.size() < kSharedPathLimit;
        EXPECT_EQ(HandOver(path), fits ? Result::Delivered : Result::Refused);
        EXPECT_TRUE(received == (fits ? "1802 " + path + "\n1801 " + path + "\n" : ""))
            << path.size() << " bytes: " << received.substr(0, 80);
    }
}

TEST_F(Handoff, ALaterInstanceGivesUpWithoutAViewAndWaitsForOneThatComes) {
    SingleInstance first(Folder());
    StartFirst(first, false);  // its view does not exist yet
    EXPECT_EQ(HandOver("/b.mid", 300), Result::NoAnswer);
    QTimer::singleShot(200, [&] { Serve(first); });
    EXPECT_EQ(HandOver("/a.mid"), Result::Delivered);
    EXPECT_EQ(received, "1802 /a.mid\n1801 /a.mid\n");
}

TEST_F(Handoff, ForeignFramesGetNoMessageThrough) {
    SingleInstance first(Folder());
    StartFirst(first);
    WhileServing([&] {
        const int fd = ConnectTo(first.SocketPath());
        char header[kSharedHeaderSize];
        ASSERT_EQ(recv(fd, header, sizeof header, MSG_WAITALL), ssize_t(sizeof header));
        // An unknown kind is answered -1; an oversized frame ends the connection.
        const std::string frames = EncodeFrame(77) + std::string("\x01\0\0\0\0\0\x01\0", 8) +
                                   EncodeFrame(kMessagePlayShared);
        send(fd, frames.data(), 8, MSG_NOSIGNAL);
        char answer[4];
        ASSERT_EQ(recv(fd, answer, 4, MSG_WAITALL), 4);
        EXPECT_EQ(DecodeResult(answer), -1);
        send(fd, frames.data() + 8, frames.size() - 8, MSG_NOSIGNAL);
        // Closed, not answered; with the play frame still unread the close reads as a reset.
        errno = 0;
        const ssize_t got = recv(fd, answer, 4, MSG_WAITALL);
        EXPECT_TRUE(got == 0 || (got == -1 && errno == ECONNRESET)) << got << " " << errno;
        close(fd);
    });
    EXPECT_EQ(received, "");
}

// Only root can connect as another user; that user must get no header, let alone a message in.
TEST_F(Handoff, AnotherUserIsHungUpOn) {
    if (geteuid() != 0) GTEST_SKIP() << "connecting as another user needs root";
    SingleInstance first(Folder());
    StartFirst(first);
    int status = -1;
    WhileServing([&] {
        const pid_t child = fork();
        if (child == 0) {
            // Another user who can still reach the private folder, as an attacker's would.
            if (seteuid(65534) != 0) _exit(1);
            setfsuid(0);
            const int fd = ConnectTo(first.SocketPath());
            char header[kSharedHeaderSize];
            _exit(fd < 0 ? 2 : recv(fd, header, sizeof header, MSG_WAITALL) > 0 ? 3 : 0);
        }
        waitpid(child, &status, 0);
    });
    EXPECT_EQ(WEXITSTATUS(status), 0) << "1: no other user, 2: not connected, 3: header sent";
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    EXPECT_TRUE(PeerIsSameUser(pair[0]));
    close(pair[0]);
    close(pair[1]);
    EXPECT_FALSE(PeerIsSameUser(-1));
}

TEST_F(Handoff, ClosingGivesThePlaceToTheNextProcessAndReopenTakesItBack) {
    SingleInstance first(Folder());
    StartFirst(first);
    ASSERT_TRUE(first.Close());
    EXPECT_FALSE(first.ReadSharedPath().has_value());
    {
        SingleInstance restarted(Folder());
        EXPECT_EQ(restarted.Start(200), Role::First);
        EXPECT_FALSE(first.Reopen());  // taken meanwhile
    }
    SingleInstance old(Folder());
    StartFirst(old);
    ASSERT_TRUE(old.Close());
    ASSERT_TRUE(old.Reopen());
    EXPECT_EQ(HandOver("/again.mid"), Result::Delivered);
    EXPECT_EQ(received, "1802 /again.mid\n1801 /again.mid\n");
}

TEST_F(Handoff, TheFolderIsPrivateToTheUser) {
    ASSERT_EQ(mkdir(Folder().c_str(), 0755), 0);
    SingleInstance first(Folder());
    ASSERT_EQ(first.Start(), Role::First);
    struct stat info {};
    ASSERT_EQ(stat(Folder().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    test::WriteFile(dir.File("plain-file"), "x");
    ASSERT_EQ(symlink(Folder().c_str(), dir.File("link").c_str()), 0);
    for (const char* name : {"plain-file", "link"})
        EXPECT_EQ(SingleInstance(dir.File(name)).Start(), Role::CreateFailed) << name;
}

// Paths of every length through the block are handed over with the single instance.
TEST(SharedBlock, SignatureIdentificationAndNoNulInAPath) {
    SharedBlock block;
    EXPECT_FALSE(block.HasSignature());
    block.WriteIdentification(0x12345678);
    EXPECT_TRUE(block.HasSignature());
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(block.data()), kSharedHeaderSize),
              "ZEBLO"s + std::string(11, '\0') + "\x78\x56\x34\x12");
    EXPECT_FALSE(block.WritePath("/a\0b.mid"s));
}

// An oversized frame breaking the reader is Handoff.ForeignFramesGetNoMessageThrough's case.
TEST(HandoffProtocol, FramesSurviveAnyChunkingUpToTheLargestPayload) {
    EXPECT_EQ(EncodeFrame(kFramePath, "/a.mid"), "\x01\0\0\0\x06\0\0\0/a.mid"s);
    EXPECT_EQ(EncodeFrame(kMessagePlayShared), "\x09\x07\0\0\0\0\0\0"s);
    const std::string stream = EncodeFrame(kFramePath, "/songs/x.mid") +
                               EncodeFrame(kMessageStopPlay) + EncodeFrame(kMessagePlayShared);
    for (std::size_t chunk : {std::size_t{1}, stream.size()}) {
        FrameReader reader;
        std::string frames;
        for (std::size_t at = 0; at < stream.size(); at += chunk) {
            reader.Feed(stream.data() + at, std::min(chunk, stream.size() - at));
            while (auto f = reader.Next())
                frames += std::to_string(f->kind) + ":" + f->payload + " ";
        }
        EXPECT_EQ(frames, "1:/songs/x.mid 1802: 1801: ") << chunk;
    }
    FrameReader largest;
    const std::string fits = EncodeFrame(kFramePath, std::string(kFramePayloadLimit, 'a'));
    largest.Feed(fits.data(), fits.size());
    EXPECT_TRUE(largest.Next());
}

TEST(CommandLineFile, TheFirstNonOptionMadeAbsolute) {
    const std::string here = std::filesystem::current_path().string();
    const struct {
        std::vector<const char*> args;
        std::string path;
    } rows[] = {
        {{}, ""},
        {{"/music/tune.mid", "/music/second.mid"}, "/music/tune.mid"},
        {{"sub/../tune.mid"}, here + "/tune.mid"},
        {{"-platform", "offscreen", "tune.mid"}, here + "/tune.mid"},
        {{"-reverse", "tune.mid"}, here + "/tune.mid"},
        {{"--", "-dash.mid"}, here + "/-dash.mid"},
    };
    for (auto row : rows) {
        row.args.insert(row.args.begin(), "zeblo");
        const CommandLineFile file =
            GetCommandLineFile(static_cast<int>(row.args.size()), row.args.data());
        EXPECT_TRUE(file.play);
        EXPECT_EQ(file.path, row.path);
    }
}

TEST(CommandLineFile, LaunchersAreNotPlayed) {
    test::TempDir dir;
    const std::string path = dir.File("x.desktop");
    const std::pair<std::string, bool> rows[] = {
        {"# made by hand\n\n[Desktop Entry]\nType=Application\nExec=zeblo\n", true},
        {"\xEF\xBB\xBF[Desktop Entry]\r\nName=x\r\n", true},
        {"MThd\0\0\0\6"s, false},  // named like a launcher, but a song
        {"[Other Group]\n[Desktop Entry]\n", false},
    };
    for (const auto& [text, launcher] : rows) {
        test::WriteFile(path, text);
        EXPECT_EQ(IsDesktopLauncher(path), launcher) << text;
        const char* args[] = {"zeblo", path.c_str()};
        EXPECT_EQ(GetCommandLineFile(2, args).play, !launcher) << text;
    }
    EXPECT_FALSE(IsDesktopLauncher(dir.File("missing.desktop")));
    EXPECT_FALSE(IsDesktopLauncher(dir.Path().string()));
}

}  // namespace
}  // namespace zeblo
