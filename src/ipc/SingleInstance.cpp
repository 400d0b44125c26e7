#include "ipc/SingleInstance.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QLocalServer>
#include <QLocalSocket>
#include <QPointer>
#include <QVariant>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <thread>

#include "ipc/HandoffProtocol.h"

namespace zeblo {
namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kConnectRetry = std::chrono::milliseconds(50);

bool OwnedDirectory(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

int RemainingMs(Clock::time_point deadline) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

bool ReadFully(int fd, char* out, std::size_t count, Clock::time_point deadline) {
    std::size_t done = 0;
    while (done < count) {
        pollfd p{fd, POLLIN, 0};
        const int ready = poll(&p, 1, RemainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) return false;
        const ssize_t got = recv(fd, out + done, count - done, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        done += static_cast<std::size_t>(got);
    }
    return true;
}

bool WriteFully(int fd, const std::string& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        done += static_cast<std::size_t>(put);
    }
    return true;
}

// Sends one frame and waits for its answer; nullopt when the first instance did not answer.
std::optional<int32_t> Exchange(int fd, uint32_t kind, std::string_view payload, int waitMs) {
    if (!WriteFully(fd, EncodeFrame(kind, payload))) return std::nullopt;
    char answer[4];
    if (!ReadFully(fd, answer, sizeof answer, Clock::now() + std::chrono::milliseconds(waitMs)))
        return std::nullopt;
    return DecodeResult(answer);
}

}  // namespace

bool PeerIsSameUser(int socketFd) {
    ucred peer{};
    socklen_t length = sizeof peer;
    return socketFd >= 0 && getsockopt(socketFd, SOL_SOCKET, SO_PEERCRED, &peer, &length) == 0 &&
           length == sizeof peer && peer.uid == geteuid();
}

SingleInstance::SingleInstance(std::string folder, QObject* parent)
    : QObject(parent), folder_(std::move(folder)) {}

SingleInstance::~SingleInstance() {
    Close();
    if (clientFd_ >= 0) ::close(clientFd_);
}

std::string SingleInstance::DefaultFolder() {
    std::string base = "/tmp";
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime && runtime[0] == '/' && OwnedDirectory(runtime)) {
        base = runtime;
    }
    return base + "/zeblo-" + std::to_string(geteuid());
}

std::string SingleInstance::SocketPath() const {
    return folder_ + "/" + kSharedBlockName;
}

std::string SingleInstance::LockPath() const {
    return SocketPath() + ".lock";
}

// The folder must be ours alone: whoever can enter it could take the socket's place.
bool SingleInstance::PrepareFolder() const {
    if (mkdir(folder_.c_str(), 0700) != 0 && errno != EEXIST) return false;
    struct stat info {};
    if (lstat(folder_.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != geteuid())
        return false;
    if ((info.st_mode & 077) != 0 && chmod(folder_.c_str(), 0700) != 0) return false;
    return true;
}

bool SingleInstance::TryLock() {
    // Close-on-exec: a program started by the restart must not inherit the lock.
    const int fd = open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return false;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    lockFd_ = fd;
    return true;
}

void SingleInstance::Unlock() {
    if (lockFd_ < 0) return;
    flock(lockFd_, LOCK_UN);
    ::close(lockFd_);
    lockFd_ = -1;
}

bool SingleInstance::Listen() {
    if (role_ != Role::First) return false;
    if (server_) return true;
    const QString name = QString::fromStdString(SocketPath());
    // Holding the lock, any socket file here was left by an instance that is gone.
    QLocalServer::removeServer(name);
    server_ = new QLocalServer(this);
    connect(server_, &QLocalServer::newConnection, this, &SingleInstance::Accept);
    if (server_->listen(name)) return true;
    delete server_;
    server_ = nullptr;
    Unlock();
    role_ = Role::CreateFailed;
    return false;
}

int SingleInstance::ConnectToFirst() const {
    const std::string path = SocketPath();
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        !PeerIsSameUser(fd)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

SingleInstance::Role SingleInstance::Start(int waitMs) {
    if (role_ == Role::First || role_ == Role::Later) return role_;
    if (!PrepareFolder()) return role_ = Role::CreateFailed;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMs);
    for (;;) {
        if (TryLock()) return role_ = Role::First;
        clientFd_ = ConnectToFirst();
        if (clientFd_ >= 0 || Clock::now() >= deadline) return role_ = Role::Later;
        std::this_thread::sleep_for(kConnectRetry);
    }
}

SingleInstance::HandOverResult SingleInstance::HandOver(const std::string& path, int headerWaitMs,
                                                        int answerWaitMs) {
    if (role_ != Role::Later) return HandOverResult::NoAnswer;
    if (!FitsSharedPath(path)) return HandOverResult::Refused;
    if (clientFd_ < 0) return HandOverResult::NoAnswer;

    char header[kSharedHeaderSize];
    if (!ReadFully(clientFd_, header, sizeof header,
                   Clock::now() + std::chrono::milliseconds(headerWaitMs))) {
        return HandOverResult::NoAnswer;
    }
    if (std::memcmp(header, kSharedSignature, sizeof kSharedSignature) != 0)
        return HandOverResult::Refused;

    const auto stored = Exchange(clientFd_, kFramePath, path, answerWaitMs);
    if (!stored) return HandOverResult::NoAnswer;
    if (*stored != 0) return HandOverResult::Refused;
    if (!Exchange(clientFd_, kMessageStopPlay, {}, answerWaitMs)) return HandOverResult::NoAnswer;
    if (!Exchange(clientFd_, kMessagePlayShared, {}, answerWaitMs)) return HandOverResult::NoAnswer;
    return HandOverResult::Delivered;
}

void SingleInstance::Serve(uint32_t identification, std::function<int32_t(uint32_t)> receiver) {
    block_.WriteIdentification(identification);
    receiver_ = std::move(receiver);
    if (serving_ || !server_) {
        serving_ = server_ != nullptr;
        return;
    }
    serving_ = true;
    // Later instances that connected while the view did not exist yet have been waiting.
    for (QLocalSocket* socket : server_->findChildren<QLocalSocket*>()) Begin(socket);
}

void SingleInstance::Accept() {
    while (server_ && server_->hasPendingConnections()) {
        QLocalSocket* socket = server_->nextPendingConnection();
        if (!PeerIsSameUser(static_cast<int>(socket->socketDescriptor()))) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        if (serving_) Begin(socket);
    }
}

void SingleInstance::Begin(QLocalSocket* socket) {
    if (socket->property("zebloServed").toBool()) return;
    socket->setProperty("zebloServed", true);
    auto reader = std::make_shared<Connection>();
    connect(socket, &QLocalSocket::readyRead, this,
            [this, socket, reader] { ProcessFrames(socket, reader); });
    socket->write(reinterpret_cast<const char*>(block_.data()), kSharedHeaderSize);
    socket->flush();
    if (socket->bytesAvailable() > 0) ProcessFrames(socket, reader);
}

void SingleInstance::ProcessFrames(QLocalSocket* socket, std::shared_ptr<Connection> connection) {
    QPointer<QLocalSocket> guard(socket);
    const QByteArray bytes = socket->readAll();
    FrameReader& reader = connection->reader;
    reader.Feed(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    while (auto frame = reader.Next()) {
        const int32_t result = Act(*connection, frame->kind, frame->payload);
        // The message may have run a nested event loop in which the peer went away.
        if (!guard) return;
        guard->write(EncodeResult(result).data(), 4);
        guard->flush();
    }
    if (reader.Broken()) guard->abort();
}

// Later instances that start together talk to us at the same time, their frames interleaved: each
// one's path waits with its connection and enters the block only with that one's messages,
// or one file would play twice and another never.
int32_t SingleInstance::Act(Connection& connection, uint32_t kind, const std::string& payload) {
    if (kind == kFramePath) {
        if (!FitsSharedPath(payload)) return -1;
        connection.path = payload;
        return 0;
    }
    if (kind < kMessagePlayShared || kind > kMessagePlayCurrent) return -1;
    if (connection.path) block_.WritePath(*connection.path);
    // Without a view the message goes nowhere, as to a window that no longer exists.
    return receiver_ ? receiver_(kind) : 0;
}

bool SingleInstance::Close() {
    if (role_ != Role::First) return false;
    serving_ = false;
    if (server_) {
        server_->close();
        delete server_;
        server_ = nullptr;
    }
    Unlock();
    role_ = Role::Closed;
    return true;
}

bool SingleInstance::Reopen() {
    if (role_ != Role::Closed) return false;
    role_ = Role::None;
    if (Start(0) != Role::First || !Listen()) return false;
    // The view that was served before is still there.
    serving_ = static_cast<bool>(receiver_);
    return true;
}

std::optional<std::string> SingleInstance::ReadSharedPath() const {
    if (role_ != Role::First) return std::nullopt;
    return block_.ReadPath();
}

}  // namespace zeblo
