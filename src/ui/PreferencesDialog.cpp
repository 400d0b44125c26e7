#include "ui/PreferencesDialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "ui/Association.h"
#include "ui/PreferencesDialogItems.h"

namespace zeblo {
namespace {

QString Id(int id) {
    return QString::number(id);
}

template <std::size_t N>
QComboBox* Fill(QComboBox* combo, const std::array<prefs::Item, N>& items) {
    for (const prefs::Item& item : items) combo->addItem(QString::fromUtf8(item.caption));
    return combo;
}

// Selects `index`, or nothing when no item has it.
void Select(QComboBox* combo, int32_t index) {
    combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
}

}  // namespace

CutoffUpDown::CutoffUpDown(QLineEdit* buddy, QWidget* parent)
    : QAbstractSpinBox(parent), buddy_(buddy) {
    lineEdit()->setReadOnly(true);
    setButtonSymbols(UpDownArrows);
    setFixedWidth(18);
    setFocusPolicy(Qt::NoFocus);
}

void CutoffUpDown::stepBy(int steps) {
    bool ok = false;
    const int64_t now = buddy_->text().trimmed().toInt(&ok);
    const int64_t next = (ok ? now : low_) + int64_t{steps} * step_;
    buddy_->setText(QString::number(std::clamp<int64_t>(next, low_, high_)));
}

PreferencesDialog::PreferencesDialog(SettingsRecord& record, std::vector<std::string> deviceNames,
                                     UserPrompt& prompt, PreferencesDialogHooks hooks,
                                     QWidget* parent)
    : QDialog(parent), record_(record), prompt_(prompt), hooks_(std::move(hooks)) {
    setObjectName(Id(prefs::kDialogId));
    setWindowTitle(QStringLiteral("Preferences"));
    setModal(true);
    setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    members_ = MembersFromRecord(record_);

    auto* grid = new QGridLayout(this);
    int row = 0;
    auto labelled = [&](const char* caption, QWidget* w) {
        grid->addWidget(new QLabel(QString::fromUtf8(caption), this), row, 0);
        grid->addWidget(w, row++, 1);
    };
    labelled("Output Device", AddCombo(prefs::kOutputDevice));
    labelled("Output Frequency", Fill(AddCombo(prefs::kOutputFrequency), prefs::kFrequencyItems));
    labelled("Auto Detune", Fill(AddCombo(prefs::kAutoDetune), prefs::kDetuneItems));
    labelled("Redraw Timing", Fill(AddCombo(prefs::kRedrawTiming), prefs::kRedrawItems));
    labelled("Instrument Set", Fill(AddCombo(prefs::kInstrumentSet), prefs::kInstrumentSetItems));
    labelled("Drumset", Fill(AddCombo(prefs::kDrumSet), prefs::kDrumSetItems));
    grid->addWidget(AddCheck(prefs::kMonaural, "Monaural Output"), row++, 1);

    auto* buffer = new QGroupBox(QStringLiteral("Buffer Setting"), this);
    auto* bufferGrid = new QGridLayout(buffer);
    QComboBox* blockSize = Fill(AddCombo(prefs::kBlockSize), prefs::kBlockSizeItems);
    bufferGrid->addWidget(new QLabel(QStringLiteral("Buffer Block Size"), buffer), 0, 0);
    bufferGrid->addWidget(blockSize, 0, 1);
    QComboBox* blockCount = Fill(AddCombo(prefs::kBlockCount), prefs::kBlockCountItems);
    bufferGrid->addWidget(new QLabel(QStringLiteral("BufferCount"), buffer), 1, 0);
    bufferGrid->addWidget(blockCount, 1, 1);
    bufferGrid->addWidget(AddCheck(prefs::kKeepRunning, "Don't stop at Buffer-underrun"), 2, 0, 1,
                          2);
    grid->addWidget(buffer, row++, 0, 1, 2);

    auto* equalizing = new QGroupBox(QStringLiteral("Equalizing"), this);
    auto* eqGrid = new QGridLayout(equalizing);
    eqGrid->addWidget(AddCheck(prefs::kLowPass, "Use Low-pass Filter"), 0, 0, 1, 4);
    cutoff_ = new QLineEdit(this);
    cutoff_->setObjectName(Id(prefs::kCutoff));
    upDown_ = new CutoffUpDown(cutoff_, this);
    upDown_->setObjectName(Id(prefs::kCutoffUpDown));
    eqGrid->addWidget(new QLabel(QStringLiteral("Cut-off Frequency"), equalizing), 1, 0);
    eqGrid->addWidget(cutoff_, 1, 1);
    eqGrid->addWidget(upDown_, 1, 2);
    eqGrid->addWidget(new QLabel(QStringLiteral("Hz."), equalizing), 1, 3);
    grid->addWidget(equalizing, row++, 0, 1, 2);

    QComboBox* hidden = Fill(AddCombo(prefs::kHiddenOption), prefs::kHiddenOptionItems);
    hidden->hide();
    grid->addWidget(new QLabel(QStringLiteral("(*) for FAST machine."), this), row++, 0, 1, 2);

    auto* about = new QPushButton(QStringLiteral("About"), this);
    about->setObjectName(Id(prefs::kAbout));
    auto* linkMid = new QPushButton(QStringLiteral("Link MID"), this);
    linkMid->setObjectName(Id(prefs::kLinkMid));
    linkMid->setEnabled(hooks_.association != nullptr);
    auto* linkRcp = new QPushButton(QStringLiteral("Link RCP"), this);
    linkRcp->setObjectName(Id(prefs::kLinkRcp));
    auto* links = new QHBoxLayout;
    links->addWidget(new QLabel(QStringLiteral("File manager"), this));
    links->addWidget(linkMid);
    links->addWidget(linkRcp);
    grid->addLayout(links, row++, 0, 1, 2);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(Id(prefs::kOk));
    ok->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(Id(prefs::kCancel));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(about);
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    grid->addLayout(buttons, row++, 0, 1, 2);

    connect(ok, &QPushButton::clicked, this, &PreferencesDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &PreferencesDialog::reject);
    connect(about, &QPushButton::clicked, this, [this] {
        if (hooks_.showAbout) hooks_.showAbout();
    });
    connect(linkMid, &QPushButton::clicked, this, [this] {
        if (!hooks_.association) return;
        hooks_.association->Press();
        RefreshLinkCaption();
    });
    connect(linkRcp, &QPushButton::clicked, this, [this] {
        prompt_.Ask(kNotMountedMessage, PromptButtons::Ok, PromptIcon::Information);
    });

    // Dialog start: members to controls, then the up-down range, the device list and the link
    // caption.
    TransferToControls();
    upDown_->SetRange(prefs::kCutoffLow, prefs::kCutoffHigh);
    upDown_->SetStep(prefs::kCutoffStep);
    QComboBox* devices = Combo(prefs::kOutputDevice);
    for (const std::string& name : deviceNames) devices->addItem(QString::fromStdString(name));
    Select(devices, members_.device);
    RefreshLinkCaption();
}

QComboBox* PreferencesDialog::AddCombo(int id) {
    auto* combo = new QComboBox(this);
    combo->setObjectName(Id(id));
    return combo;
}

QCheckBox* PreferencesDialog::AddCheck(int id, const char* caption) {
    auto* check = new QCheckBox(QString::fromUtf8(caption), this);
    check->setObjectName(Id(id));
    return check;
}

QComboBox* PreferencesDialog::Combo(int id) const {
    return findChild<QComboBox*>(Id(id));
}

QCheckBox* PreferencesDialog::Check(int id) const {
    return findChild<QCheckBox*>(Id(id));
}

QPushButton* PreferencesDialog::Button(int id) const {
    return findChild<QPushButton*>(Id(id));
}

void PreferencesDialog::RefreshLinkCaption() {
    if (hooks_.association)
        Button(prefs::kLinkMid)->setText(QString::fromUtf8(hooks_.association->Caption()));
}

void PreferencesDialog::TransferToControls() {
    Select(Combo(prefs::kOutputDevice), members_.device);
    Select(Combo(prefs::kOutputFrequency), members_.frequency);
    Select(Combo(prefs::kAutoDetune), members_.detune);
    Select(Combo(prefs::kRedrawTiming), members_.redraw);
    Select(Combo(prefs::kInstrumentSet), members_.instrumentSet);
    Select(Combo(prefs::kDrumSet), members_.drumSet);
    Select(Combo(prefs::kBlockSize), members_.blockLength);
    Select(Combo(prefs::kBlockCount), members_.blockCount);
    Select(Combo(prefs::kHiddenOption), members_.hiddenOption);
    Check(prefs::kMonaural)->setChecked(members_.monaural != 0);
    Check(prefs::kKeepRunning)->setChecked(members_.keepRunning != 0);
    Check(prefs::kLowPass)->setChecked(members_.lowPass != 0);
    cutoff_->setText(QString::number(members_.cutoff));
}

bool PreferencesDialog::TransferFromControls() {
    bool ok = false;
    const int32_t cutoff = cutoff_->text().trimmed().toInt(&ok);
    if (!ok) {
        prompt_.Ask(kIntegerExpectedMessage, PromptButtons::Ok, PromptIcon::Warning);
        cutoff_->setFocus();
        cutoff_->selectAll();
        return false;
    }
    members_.device = Combo(prefs::kOutputDevice)->currentIndex();
    members_.frequency = Combo(prefs::kOutputFrequency)->currentIndex();
    members_.detune = Combo(prefs::kAutoDetune)->currentIndex();
    members_.redraw = Combo(prefs::kRedrawTiming)->currentIndex();
    members_.instrumentSet = Combo(prefs::kInstrumentSet)->currentIndex();
    members_.drumSet = Combo(prefs::kDrumSet)->currentIndex();
    members_.blockLength = Combo(prefs::kBlockSize)->currentIndex();
    members_.blockCount = Combo(prefs::kBlockCount)->currentIndex();
    members_.hiddenOption = Combo(prefs::kHiddenOption)->currentIndex();
    members_.monaural = Check(prefs::kMonaural)->isChecked() ? 1 : 0;
    members_.keepRunning = Check(prefs::kKeepRunning)->isChecked() ? 1 : 0;
    members_.lowPass = Check(prefs::kLowPass)->isChecked() ? 1 : 0;
    members_.cutoff = cutoff;
    return true;
}

void PreferencesDialog::accept() {
    if (!TransferFromControls()) return;
    StoreMembers(members_, record_);
    CorrectLowPass(record_, prompt_);
    QDialog::accept();
}

}  // namespace zeblo
