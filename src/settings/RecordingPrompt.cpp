#include "settings/RecordingPrompt.h"

namespace zeblo {

PromptAnswer RecordingPrompt::Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) {
    PromptAnswer answer = PromptAnswer::Ok;
    if (buttons != PromptButtons::Ok) {
        if (queued_.empty()) {
            answer = fallback_;
        } else {
            answer = queued_.front();
            queued_.pop_front();
        }
    }
    prompts_.push_back({std::string(text), buttons, icon, answer});
    return answer;
}

std::vector<std::string> RecordingPrompt::Texts() const {
    std::vector<std::string> texts;
    for (const RecordedPrompt& p : prompts_) texts.push_back(p.text);
    return texts;
}

std::string RecordingPrompt::TakeTexts() {
    std::string joined;
    for (const RecordedPrompt& p : prompts_) joined += p.text + "|";
    prompts_.clear();
    return joined;
}

}  // namespace zeblo
