#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

#include "ui/AboutDialog.h"

namespace zeblo {
namespace {

TEST(About, ShowsTheVersionAndOpensOurAddressesWithoutClosing) {
    std::vector<QUrl> opened;
    AboutDialog about(nullptr, [&](const QUrl& url) { opened.push_back(url); });
    about.show();
    QString texts;
    for (QLabel* l : about.findChildren<QLabel*>()) texts += l->text() + "\n";
    for (const char* shown : {"236", "https://zeblo.example.org", "zeblo@example.org"})
        EXPECT_TRUE(texts.contains(shown)) << shown;
    EXPECT_TRUE(about.findChild<QLabel*>("1093")->text().contains("236"));
    about.findChild<QPushButton*>("1089")->click();
    about.findChild<QPushButton*>("1090")->click();
    EXPECT_EQ(opened, std::vector<QUrl>(
                          {QUrl("https://zeblo.example.org"), QUrl("mailto:zeblo@example.org")}));
    EXPECT_TRUE(about.isVisible());
    about.findChild<QPushButton*>("1")->click();
    EXPECT_EQ(about.result(), QDialog::Accepted);
    EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace zeblo
