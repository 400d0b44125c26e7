#include "engine/AuthoringThread.h"

#include <algorithm>
#include <cstdio>
#include <system_error>
#include <utility>

#include "engine/Authoring.h"
#include "engine/PlayerMessages.h"
#include "engine/StreamingMessages.h"

namespace zeblo {

AuthoringThread::AuthoringThread(PlaybackState& playback, UserPrompt& prompt, AuthoringRun run)
    : playback_(playback), prompt_(prompt), run_(std::move(run)) {}

AuthoringThread::~AuthoringThread() {
    ShutDown();
}

void AuthoringThread::Start(PlayerListener& listener, const std::function<void()>& stopOutput) {
    if (playback_.currentPath.empty()) {
        listener.ShowMessage(kNoFileToAuthorMessage, kPlayerMessageMs);
        return;
    }
    if (!run_ || thread_.joinable()) return;
    const std::string output = AuthoringOutputPath(playback_.currentPath);
    const int size = std::snprintf(nullptr, 0, kAuthoringConfirmFormat, output.c_str());
    std::string question(static_cast<std::size_t>(std::max(size, 0)) + 1, '\0');
    std::snprintf(question.data(), question.size(), kAuthoringConfirmFormat, output.c_str());
    question.pop_back();
    if (prompt_.Ask(question, PromptButtons::OkCancel, PromptIcon::Question) ==
        PromptAnswer::Cancel) {
        return;
    }
    outputPath_ = output;

    // Real-time output stops here, on the thread that owns the device and the view, before the
    // authoring thread exists; the thread itself only renders and writes.
    stopOutput();
    playback_.authoring.store(true);
    bytes_.store(0);
    // A shut-down owner has left threadStop set: such a run ends before its first chunk.
    stop_.store(playback_.threadStop.load());
    listener.StateChanged();

    try {
        thread_ = std::thread([this, &listener, song = playback_.currentPath, output] {
            run_(song, output, stop_, bytes_, deferred_);
            listener.AuthoringEnded();
        });
    } catch (const std::system_error&) {
        playback_.authoring.store(false);
        prompt_.Ask(kCreateThreadFailedMessage, PromptButtons::Ok, PromptIcon::Error);
        listener.StateChanged();
    }
}

void AuthoringThread::AskCancel() {
    if (!thread_.joinable()) return;
    if (prompt_.Ask(kCancelAuthoringQuestion, PromptButtons::YesNo, PromptIcon::Question) ==
        PromptAnswer::Ok)
        stop_.store(1, std::memory_order_release);
}

void AuthoringThread::Finish(PlayerListener& listener) {
    if (!thread_.joinable()) return;
    thread_.join();
    for (const std::string& text : deferred_.Take()) {
        prompt_.Ask(text, PromptButtons::Ok, PromptIcon::Information);
    }
    playback_.authoring.store(false);
    listener.StateChanged();
    listener.ShowMessage(kAuthoringFinishedMessage, kPlayerMessageMs);
}

void AuthoringThread::ShutDown() {
    // Left set: nothing may start rendering once the owner is going.
    playback_.threadStop.store(1);
    stop_.store(1, std::memory_order_release);
    if (thread_.joinable()) thread_.join();
    deferred_.Take();
    playback_.authoring.store(false);
}

PromptAnswer AuthoringThread::DeferredPrompt::Ask(std::string_view text, PromptButtons,
                                                  PromptIcon) {
    std::lock_guard guard(lock_);
    texts_.emplace_back(text);
    return PromptAnswer::Ok;
}

std::vector<std::string> AuthoringThread::DeferredPrompt::Take() {
    std::lock_guard guard(lock_);
    return std::exchange(texts_, {});
}

}  // namespace zeblo
