#include "ui/QtPrompt.h"

#include <QMessageBox>
#include <QPointer>

#include "ui/TerminationSignals.h"

namespace zeblo {

QString PromptText(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

PromptAnswer QtPrompt::Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) {
    // A program that is ending asks nothing more: nobody may be there to answer.
    if (EndRequested())
        return buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
    QMessageBox::Icon boxIcon = QMessageBox::Information;
    if (icon == PromptIcon::Warning) boxIcon = QMessageBox::Warning;
    if (icon == PromptIcon::Error) boxIcon = QMessageBox::Critical;
    if (icon == PromptIcon::Question) boxIcon = QMessageBox::Question;
    // The affirmative button is the default, the other one what Escape presses.
    QMessageBox::StandardButton yes = QMessageBox::Ok, no = QMessageBox::Ok;
    if (buttons == PromptButtons::OkCancel) no = QMessageBox::Cancel;
    if (buttons == PromptButtons::YesNo) yes = QMessageBox::Yes, no = QMessageBox::No;
    QPointer<QMessageBox> box = new QMessageBox(boxIcon, QString::fromUtf8(kPromptCaption),
                                                PromptText(text), yes | no, parent_);
    box->setDefaultButton(yes);
    box->setEscapeButton(no);
    const int result = box->exec();
    delete box;
    if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
    return result == yes && !EndRequested() ? PromptAnswer::Ok : PromptAnswer::Cancel;
}

bool QtPrompt::Withdrawn() const {
    return EndRequested();
}

}  // namespace zeblo
