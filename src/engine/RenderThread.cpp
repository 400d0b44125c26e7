#include "engine/RenderThread.h"

#include <pthread.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <system_error>

#include "engine/StreamingConstants.h"

namespace zeblo {
namespace {

long long ThreadCpuNanoseconds(clockid_t clock) {
    timespec now{};
    if (clock_gettime(clock, &now) != 0) return 0;
    return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

}  // namespace

RenderThread::RenderThread(Streaming& streaming, PlaybackState& playback)
    : streaming_(streaming), playback_(playback) {}

RenderThread::~RenderThread() {
    Stop();
}

bool RenderThread::Create(FrameSource& source) {
    if (Exists()) return false;
    {
        std::lock_guard guard(gateLock_);
        released_ = false;
    }
    ended_.store(false, std::memory_order_relaxed);
    systemThreadId_.store(0, std::memory_order_relaxed);
    lastCpuNanoseconds_.store(0, std::memory_order_relaxed);
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, 0);
    normalNice_ = errno == 0 ? nice : 0;
    raised_ = false;
    try {
        thread_ = std::thread([this, &source] { Main(source); });
        nativeHandle_ = thread_.native_handle();
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

bool RenderThread::Resume() {
    if (!Exists()) return false;
    {
        std::lock_guard guard(gateLock_);
        released_ = true;
    }
    gate_.notify_one();
    return true;
}

void RenderThread::Stop() {
    if (!Exists()) return;
    playback_.threadStop.store(1, std::memory_order_release);
    streaming_.WakeProducer();
    Resume();
    thread_.join();
    playback_.threadStop.store(0, std::memory_order_release);
}

void RenderThread::Main(FrameSource& source) {
    systemThreadId_.store(static_cast<int>(gettid()), std::memory_order_release);
    {
        std::unique_lock guard(gateLock_);
        gate_.wait(guard, [this] { return released_; });
    }
    source.ClearFilterHistory();
    if (playback_.threadStop.load(std::memory_order_acquire) == 0) {
        streaming_.RunProducer(source, playback_.threadStop);
    }
    lastCpuNanoseconds_.store(ThreadCpuNanoseconds(CLOCK_THREAD_CPUTIME_ID),
                              std::memory_order_release);
    ended_.store(true, std::memory_order_release);
}

void RenderThread::SetRaised(bool raised) {
    const int id = systemThreadId_.load(std::memory_order_acquire);
    if (raised == raised_ || !Exists() || id == 0) return;
    raised_ = raised;
    const int nice = raised ? normalNice_ - kRaisedNiceSteps : normalNice_;
    // Refused without the privilege to raise: the thread keeps its priority.
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(id), nice);
}

double RenderThread::CpuSeconds() const {
    long long nanoseconds = lastCpuNanoseconds_.load(std::memory_order_acquire);
    if (Exists() && !Ended()) {
        clockid_t clock{};
        if (pthread_getcpuclockid(nativeHandle_, &clock) == 0) {
            nanoseconds = ThreadCpuNanoseconds(clock);
        }
    }
    return static_cast<double>(nanoseconds) / 1e9;
}

void StopOutputAndRenderThread(OutputDevice& device, RenderThread& renderThread,
                               PlaybackState& playback) {
    device.ResetDevice();
    playback.playing.store(false);
    device.CloseDevice();
    renderThread.Stop();
}

}  // namespace zeblo
