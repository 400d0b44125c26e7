#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "ui/AboutDialog.h"

namespace zeblo {
namespace {

TEST(About, ShowsTheVersionAndOpensOurAddresses) {
    std::vector<QUrl> opened;
    AboutDialog about(nullptr, [&](const QUrl& url) { opened.push_back(url); });
    about.show();
    EXPECT_EQ(about.objectName(), "100");
    auto* version = about.findChild<QLabel*>("1093");
    ASSERT_NE(version, nullptr);
    EXPECT_TRUE(version->text().contains("236"));

    auto* homepage = about.findChild<QPushButton*>("1089");
    auto* mail = about.findChild<QPushButton*>("1090");
    ASSERT_NE(homepage, nullptr);
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(homepage->text(), "Go homepage !");
    EXPECT_EQ(mail->text(), "Send e-mail !");
    homepage->click();
    mail->click();
    ASSERT_EQ(opened.size(), 2u);
    EXPECT_EQ(opened[0], QUrl("https://zeblo.example.org"));
    EXPECT_EQ(opened[1], QUrl("mailto:zeblo@example.org"));
    EXPECT_TRUE(about.isVisible());  // the buttons leave the box open

    // The addresses are written out in the box as well.
    QString texts;
    for (QLabel* l : about.findChildren<QLabel*>()) texts += l->text() + "\n";
    EXPECT_TRUE(texts.contains("https://zeblo.example.org"));
    EXPECT_TRUE(texts.contains("zeblo@example.org"));

    about.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace zeblo
