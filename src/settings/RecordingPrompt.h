// A prompt without a screen: it records every question and answers from a queue.
//
// Threads: whichever thread asks (the same one that would show the dialog); not thread-safe.
#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <vector>

#include "settings/UserPrompt.h"

namespace zeblo {

struct RecordedPrompt {
    std::string text;
    PromptButtons buttons = PromptButtons::Ok;
    PromptIcon icon = PromptIcon::Information;
    PromptAnswer answer = PromptAnswer::Ok;
};

class RecordingPrompt final : public UserPrompt {
public:
    // `fallback` answers OK/Cancel and Yes/No boxes once the queued answers are used up.
    explicit RecordingPrompt(PromptAnswer fallback = PromptAnswer::Ok) : fallback_(fallback) {}
    virtual ~RecordingPrompt() = default;

    // Queues the answer for the next box with a choice. OK-only boxes do not take from the queue.
    void AnswerNext(PromptAnswer answer) { queued_.push_back(answer); }

    PromptAnswer Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) override;

    const std::vector<RecordedPrompt>& prompts() const { return prompts_; }
    // The boxes' texts in the order they were asked.
    std::vector<std::string> Texts() const;
    // The same joined, each followed by '|'; the record is cleared.
    std::string TakeTexts();
    void Clear() { prompts_.clear(); }

private:
    PromptAnswer fallback_;
    std::deque<PromptAnswer> queued_;
    std::vector<RecordedPrompt> prompts_;
};

}  // namespace zeblo
