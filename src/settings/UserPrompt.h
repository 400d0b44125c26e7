// Modal questions to the user: a message with OK, OK and Cancel, or Yes and No, and an icon.
//
// Threads: asked on the user-interface thread (start-up, saves, playback control, authoring).
// The desktop build answers with real dialogs; the core and the tests use RecordingPrompt.
#pragma once

#include <string_view>

namespace zeblo {

// Every box the program shows carries this caption.
inline constexpr char kPromptCaption[] = "ZEBLO";

enum class PromptButtons { Ok, OkCancel, YesNo };
enum class PromptIcon { Information, Warning, Error, Question };
// Yes answers Ok, No answers Cancel.
enum class PromptAnswer { Ok, Cancel };

class UserPrompt {
public:
    // Shows `text` (may hold "\r\n" line breaks) and waits for the answer. A box with only an OK
    // button always answers Ok.
    virtual PromptAnswer Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) = 0;
    // True once the program is ending: Ask shows nothing and answers Cancel where it offers one,
    // and that answer is no choice of the user's: nothing that outlives the run may follow from it.
    virtual bool Withdrawn() const { return false; }

protected:
    UserPrompt() = default;
    ~UserPrompt() = default;
    UserPrompt(const UserPrompt&) = delete;
    UserPrompt& operator=(const UserPrompt&) = delete;
};

}  // namespace zeblo
