// Answers the real message boxes a test makes the program show: it watches for the active modal
// box, notes what it says and presses the next queued button (OK when none is queued).
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <deque>
#include <vector>

namespace zeblo::testing {

struct SeenBox {
    QString caption;
    QString text;
    QMessageBox::StandardButtons buttons;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

class BoxAnswerer {
public:
    explicit BoxAnswerer(std::deque<QMessageBox::StandardButton> answers = {})
        : answers_(std::move(answers)) {
        QObject::connect(&timer_, &QTimer::timeout, [this] { Answer(); });
        timer_.start(5);
    }

    std::vector<SeenBox> seen;

private:
    void Answer() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || !box->isVisible()) return;
        seen.push_back({box->windowTitle(), box->text(), box->standardButtons(), box->icon()});
        QMessageBox::StandardButton answer = QMessageBox::Ok;
        if (!answers_.empty()) {
            answer = answers_.front();
            answers_.pop_front();
        }
        if (QAbstractButton* button = box->button(answer)) button->click();
    }

    std::deque<QMessageBox::StandardButton> answers_;
    QTimer timer_;
};

}  // namespace zeblo::testing
