// The prompt as real message boxes: modal, captioned "ZEBLO", with the asked buttons and icon.
//
// Threads: user-interface thread only.
#pragma once

#include <QString>
#include <string_view>

#include "settings/UserPrompt.h"

class QWidget;

namespace zeblo {

// The program's texts break lines with "\r\n"; a message box wants "\n".
QString PromptText(std::string_view text);

class QtPrompt final : public UserPrompt {
public:
    explicit QtPrompt(QWidget* parent = nullptr) : parent_(parent) {}
    virtual ~QtPrompt() = default;

    // Boxes shown after this belong to `parent` (null: the application).
    void SetParent(QWidget* parent) { parent_ = parent; }

    PromptAnswer Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) override;
    // Once a termination signal was taken.
    bool Withdrawn() const override;

private:
    QWidget* parent_;
};

}  // namespace zeblo
