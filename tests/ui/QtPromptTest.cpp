#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>

#include "ui/QtPrompt.h"

namespace zeblo {
namespace {

TEST(QtPrompt, RealBoxesWithTheCaptionTextButtonsAndIcon) {
    struct Row {
        const char* text;
        PromptButtons buttons;
        PromptIcon icon;
        QMessageBox::StandardButton press;
        PromptAnswer answer;
        QString shown;
        QMessageBox::Icon boxIcon;
    };
    const Row rows[] = {
        {"first\r\nsecond", PromptButtons::OkCancel, PromptIcon::Warning, QMessageBox::Cancel,
         PromptAnswer::Cancel, "first\nsecond", QMessageBox::Warning},
        {"again", PromptButtons::OkCancel, PromptIcon::Information, QMessageBox::Ok,
         PromptAnswer::Ok, "again", QMessageBox::Information},
        {"設定ファイル\r\n書込み禁止", PromptButtons::Ok, PromptIcon::Error, QMessageBox::Ok,
         PromptAnswer::Ok, QString::fromUtf8("設定ファイル\n書込み禁止"), QMessageBox::Critical},
        {"cancel?", PromptButtons::YesNo, PromptIcon::Question, QMessageBox::No,
         PromptAnswer::Cancel, "cancel?", QMessageBox::Question},
        {"cancel?", PromptButtons::YesNo, PromptIcon::Question, QMessageBox::Yes, PromptAnswer::Ok,
         "cancel?", QMessageBox::Question},
    };
    const QMessageBox::StandardButtons offered[] = {
        QMessageBox::Ok, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Yes | QMessageBox::No};
    QtPrompt prompt;
    for (const Row& row : rows) {
        QMessageBox* seen = nullptr;
        QString caption, text;
        QMessageBox::StandardButtons buttons;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer answerer;
        QObject::connect(&answerer, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || !box->isVisible() || box == seen) return;
            seen = box;
            caption = box->windowTitle(), text = box->text(), buttons = box->standardButtons();
            icon = box->icon();
            box->button(row.press)->click();
        });
        answerer.start(5);
        EXPECT_EQ(prompt.Ask(row.text, row.buttons, row.icon), row.answer);
        EXPECT_EQ(caption, "ZEBLO");
        EXPECT_EQ(text, row.shown);
        EXPECT_EQ(buttons, offered[static_cast<int>(row.buttons)]);
        EXPECT_EQ(icon, row.boxIcon);
    }
}

}  // namespace
}  // namespace zeblo
