// The About box: the version, our notice, and buttons that open the home page and a mail to us.
//
// Threads: user-interface thread only.
#pragma once

#include <QDialog>
#include <QUrl>
#include <functional>

namespace zeblo {

inline constexpr int kAboutDialogId = 100;
inline constexpr int kAboutOkId = 1;
inline constexpr int kAboutVersionId = 1093;
inline constexpr int kAboutHomepageId = 1089;
inline constexpr int kAboutMailId = 1090;

inline constexpr char kVersionText[] = "ZEBLO Version 236";
inline constexpr char kHomepageUrl[] = "https://zeblo.example.org";
inline constexpr char kMailAddress[] = "zeblo@example.org";

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    // `open` hands an address to the desktop; QDesktopServices::openUrl when empty.
    explicit AboutDialog(QWidget* parent = nullptr, std::function<void(const QUrl&)> open = {});

private:
    std::function<void(const QUrl&)> open_;
};

}  // namespace zeblo
