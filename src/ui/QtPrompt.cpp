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
    const QMessageBox::StandardButtons offered =
        buttons == PromptButtons::OkCancel ? QMessageBox::Ok | QMessageBox::Cancel
                                           : QMessageBox::StandardButtons(QMessageBox::Ok);
    QPointer<QMessageBox> box = new QMessageBox(boxIcon, QString::fromUtf8(kPromptCaption),
                                                PromptText(text), offered, parent_);
    box->setDefaultButton(QMessageBox::Ok);
    box->setEscapeButton(buttons == PromptButtons::OkCancel ? QMessageBox::Cancel
                                                            : QMessageBox::Ok);
    const int result = box->exec();
    delete box;
    if (buttons == PromptButtons::Ok) return PromptAnswer::Ok;
    return result == QMessageBox::Ok && !EndRequested() ? PromptAnswer::Ok : PromptAnswer::Cancel;
}

bool QtPrompt::Withdrawn() const {
    return EndRequested();
}

}  // namespace zeblo
