#include "ui/QtPrompt.h"

#include <QMessageBox>
#include <QPointer>

namespace zeblo {

QString PromptText(std::string_view text) {
    QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return s;
}

PromptAnswer QtPrompt::Ask(std::string_view text, PromptButtons buttons, PromptIcon icon) {
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
    return result == yes || buttons == PromptButtons::Ok ? PromptAnswer::Ok : PromptAnswer::Cancel;
}

}  // namespace zeblo
