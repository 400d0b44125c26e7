#include "ui/AboutDialog.h"

#include <QDesktopServices>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>

namespace zeblo {
namespace {

QString Id(int id) {
    return QString::number(id);
}

}  // namespace

AboutDialog::AboutDialog(QWidget* parent, std::function<void(const QUrl&)> open)
    : QDialog(parent), open_(std::move(open)) {
    if (!open_) open_ = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    setObjectName(Id(kAboutDialogId));
    setWindowTitle(QStringLiteral("About ZEBLO"));
    setModal(true);
    setFont(QFont(QStringLiteral("DejaVu Sans"), 9));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(QStringLiteral(":/zeblo/icon.png")).pixmap(32, 32));
    auto* version = new QLabel(this);
    version->setObjectName(Id(kAboutVersionId));
    auto* notice =
        new QLabel(QStringLiteral("A MIDI file player that is its own synthesizer.\n"
                                  "Made by the ZEBLO project. Free to use and to pass on."),
                   this);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(Id(kAboutOkId));
    ok->setDefault(true);
    auto* homepage = new QLabel(
        QStringLiteral("ZEBLO home page: %1").arg(QString::fromUtf8(kHomepageUrl)), this);
    auto* goHomepage = new QPushButton(QStringLiteral("Go homepage !"), this);
    goHomepage->setObjectName(Id(kAboutHomepageId));
    auto* mail = new QLabel(
        QStringLiteral("Tell us how ZEBLO plays for you: %1").arg(QString::fromUtf8(kMailAddress)),
        this);
    auto* sendMail = new QPushButton(QStringLiteral("Send e-mail !"), this);
    sendMail->setObjectName(Id(kAboutMailId));

    auto* grid = new QGridLayout(this);
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(version, 0, 1);
    grid->addWidget(ok, 0, 2);
    grid->addWidget(notice, 1, 1, 1, 2);
    grid->addWidget(homepage, 2, 1);
    grid->addWidget(goHomepage, 2, 2);
    grid->addWidget(mail, 3, 1);
    grid->addWidget(sendMail, 3, 2);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(goHomepage, &QPushButton::clicked, this,
            [this] { open_(QUrl(QString::fromUtf8(kHomepageUrl))); });
    connect(sendMail, &QPushButton::clicked, this,
            [this] { open_(QUrl(QStringLiteral("mailto:") + QString::fromUtf8(kMailAddress))); });

    // Set at dialog start, like the program's other version marks.
    version->setText(QString::fromUtf8(kVersionText));
}

}  // namespace zeblo
