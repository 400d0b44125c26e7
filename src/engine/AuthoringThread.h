// WAV authoring from the player: the confirmation, a thread of its own for the run, and the
// run's messages shown once it has ended; a run the user cancels stops at its next chunk.
//
// Threads: Start, AskCancel, Finish and ShutDown run on the owning thread; the run runs on the
// authoring thread, which tells the listener AuthoringEnded as its last act. BytesAuthored: any
// thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "engine/PlaybackState.h"
#include "engine/PlayerListener.h"
#include "settings/UserPrompt.h"

namespace zeblo {

// The authoring run: renders `songPath` from its start to its end into a WAV file at
// `outputPath`, obeying `stop` between chunks, adding each chunk's bytes to `bytesAuthored`, and
// telling failures through `prompt` (which then deletes the partial file). Authoring thread.
using AuthoringRun = std::function<void(const std::string& songPath, const std::string& outputPath,
                                        const std::atomic<int32_t>& stop,
                                        std::atomic<uint32_t>& bytesAuthored, UserPrompt& prompt)>;

class AuthoringThread {
public:
    // `run` may be empty: then nothing is authored.
    AuthoringThread(PlaybackState& playback, UserPrompt& prompt, AuthoringRun run);
    ~AuthoringThread();  // ShutDown
    AuthoringThread(const AuthoringThread&) = delete;
    AuthoringThread& operator=(const AuthoringThread&) = delete;

    // Authors `currentPath` after the user agreed; `stopOutput` ends real-time output first.
    void Start(PlayerListener& listener, const std::function<void()>& stopOutput);
    // While a run goes: asks "cancel?"; on yes the run stops before its next chunk and, as a
    // failed run does, deletes what it wrote. On no it goes on.
    void AskCancel();
    // After AuthoringEnded: the thread is joined and the run's messages are shown.
    void Finish(PlayerListener& listener);
    // Sets `threadStop` (left set) and waits for a run still going.
    void ShutDown();

    bool Running() const { return thread_.joinable(); }
    uint32_t BytesAuthored() const { return bytes_.load(std::memory_order_relaxed); }
    const std::string& outputPath() const { return outputPath_; }

private:
    // Messages of the run, held until it has ended.
    class DeferredPrompt final : public UserPrompt {
    public:
        PromptAnswer Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) override;
        std::vector<std::string> Take();

    private:
        std::mutex lock_;
        std::vector<std::string> texts_;
    };

    PlaybackState& playback_;
    UserPrompt& prompt_;
    AuthoringRun run_;
    std::string outputPath_;
    std::atomic<uint32_t> bytes_{0};
    // What the run obeys: set by a cancel or by ShutDown.
    std::atomic<int32_t> stop_{0};
    std::thread thread_;
    DeferredPrompt deferred_;
};

}  // namespace zeblo
