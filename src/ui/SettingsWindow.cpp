#include "ui/SettingsWindow.h"

#include <QPainter>
#include <QProxyStyle>
#include <QStyleOptionTab>

#include "config/RegisterFile.h"
#include "config/SettingsCodec.h"
#include "config/SettingsControls.h"
#include "config/WritePlan.h"
#include "link/exchange/BoardState.h"
#include "link/session/BoardOperations.h"
#include "link/wire/Commands.h"
#include "link/wire/Prompts.h"
#include "settings/FileText.h"
#include "ui/Pictures.h"
#include "ui/RegisterFileDialogs.h"
#include "ui/WindowPlacement.h"
#include "ui_SettingsWindow.h"

namespace horalux::ui {

namespace {

constexpr std::uint32_t kWriteWaitMs = 10000;
constexpr int kIdleCheckMs = 100;
constexpr char kRestartNotice[] = "Перезапустите устройство!";
constexpr char kAddressList[] = "ComboBox50";
constexpr char kAllBoardsRefused[] =
    "Адрес 255 — общий адрес всех табло: табло с ним перестанет отвечать. Выберите другой адрес.";

// Ten captions do not fit one row of a window this size and Qt has no multi-row tab bar, so the
// tabs stand in a column on the left, their captions drawn level and readable at once.
class LevelWestTabs final : public QProxyStyle {
  public:
    QSize sizeFromContents(ContentsType type, const QStyleOption* option, const QSize& size,
                           const QWidget* widget) const override {
        QSize result = QProxyStyle::sizeFromContents(type, option, size, widget);
        if (type == CT_TabBarTab) {
            result.transpose();
        }
        return result;
    }
    void drawControl(ControlElement element, const QStyleOption* option, QPainter* painter,
                     const QWidget* widget) const override {
        if (element == CE_TabBarTabLabel) {
            if (const auto* tab = qstyleoption_cast<const QStyleOptionTab*>(option)) {
                QStyleOptionTab level(*tab);
                level.shape = QTabBar::RoundedNorth;
                QProxyStyle::drawControl(element, &level, painter, widget);
                return;
            }
        }
        QProxyStyle::drawControl(element, option, painter, widget);
    }
};

}  // namespace

TForm6::TForm6(link::BoardOperations& ops, link::BoardState& board, link::Prompts& prompts,
               RegisterFileDialogs& dialogs, QWidget* parent)
    : QDialog(parent),
      ui_(std::make_unique<Ui::TForm6>()),
      ops_(ops),
      board_(board),
      prompts_(prompts),
      dialogs_(dialogs),
      model_(localeDecimalSeparator()),
      binder_(*this) {
    ui_->setupUi(this);
    auto* tabStyle = new LevelWestTabs;
    tabStyle->setParent(ui_->PageControl1);
    ui_->PageControl1->tabBar()->setStyle(tabStyle);
    ui_->Image1->setPixmap(clockPicture(24));
    ui_->BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogApplyButton));

    // Creation fills every list; only lists with a default have a chosen item until decoding.
    binder_.show(model_);

    for (const config::TimeControls& time : config::kTimeControls) {
        auto* box = findChild<QCheckBox*>(QString::fromUtf8(time.checkBox));
        auto* picker = findChild<QTimeEdit*>(QString::fromUtf8(time.picker));
        connect(box, &QCheckBox::toggled, picker, &QWidget::setEnabled);
    }
    connect(ui_->BitBtn1, &QPushButton::clicked, this, &TForm6::saveToBoard);
    connect(ui_->Button2, &QPushButton::clicked, this, &TForm6::reject);
    connect(ui_->Button4, &QPushButton::clicked, this, &TForm6::saveToFile);
    connect(ui_->Button5, &QPushButton::clicked, this, &TForm6::loadFromFile);

    idleCheck_.setInterval(kIdleCheckMs);
    connect(&idleCheck_, &QTimer::timeout, this, &TForm6::enableWhenRingIdle);
}

TForm6::~TForm6() = default;

int TForm6::openAndRun() {
    ui_->PageControl1->setCurrentIndex(0);
    centreOnScreen(*this);
    QTimer::singleShot(0, this, &TForm6::readBoard);
    return exec();
}

void TForm6::reject() {
    if (!busy_) {
        QDialog::reject();
    }
}

void TForm6::followBusyState(bool busy) {
    idleCheck_.stop();
    if (busy) {
        setReading(true);
    } else {
        finishReading();
    }
}

void TForm6::readBoard() {
    setReading(true);
    shownBeforeDrained_ = false;
    // Nothing is queued without a running exchange or room in the ring; the window then shows
    // what the board copy holds.
    if (ops_.ReadAllRegisters()) {
        shownBeforeDrained_ = !ops_.WaitForRing(readWaitMs_);
    }
    const config::RegisterImage boardCopy = board_.lock()->BoardCopy;
    showImage(boardCopy, true);
    // Replies still pending after the wait keep the window disabled until the ring drains.
    enableWhenRingIdle();
    if (busy_) {
        idleCheck_.start();
    }
    emit boardShown();
}

void TForm6::enableWhenRingIdle() {
    if (!ops_.connected() || ops_.RingIdle()) {
        idleCheck_.stop();
        finishReading();
    }
}

void TForm6::finishReading() {
    if (shownBeforeDrained_) {
        // The late replies are in the board copy now. The window was disabled meanwhile, so no
        // edit is lost, and a save will not write back values the board never sent.
        shownBeforeDrained_ = false;
        const config::RegisterImage boardCopy = board_.lock()->BoardCopy;
        showImage(boardCopy, true);
    }
    setReading(false);
}

void TForm6::saveToBoard() {
    // Refused saves leave the window open: closing it would throw away every other edit.
    if (!ops_.checkConnected() || !encode() || !addressAllowed()) {
        return;
    }
    // Nothing was queued (no exchange runs, or the ring had no room for the whole write): the
    // board was not touched, so there is nothing to restart and the user may try again.
    if (!ops_.WriteRegisters()) {
        return;
    }
    setButtonsEnabled(false);
    busy_ = true;
    ops_.WaitForRing(kWriteWaitMs);
    prompts_.notify(kRestartNotice);
    busy_ = false;
    setButtonsEnabled(true);
    accept();
}

void TForm6::saveToFile() {
    if (!encode()) {
        return;
    }
    const auto chosen = dialogs_.saveName(this, QStringLiteral("Сохранить настройки в файл"));
    if (!chosen) {
        return;
    }
    const config::RegisterImage edit = board_.lock()->EditCopy;
    try {
        config::saveRegisterFile(*chosen, edit);
    } catch (const settings::FileError& e) {
        prompts_.error(e.what());
    }
}

void TForm6::loadFromFile() {
    if (const auto chosen =
            dialogs_.openName(this, QStringLiteral("Загрузить настройки из файла"))) {
        try {
            const config::RegisterImage current = board_.lock()->EditCopy;
            const config::RegisterImage loaded = config::loadRegisterFile(*chosen, current);
            board_.lock()->EditCopy = loaded;
        } catch (const settings::FileReadError& e) {
            prompts_.error(e.what());
        }
    }
    // Also after a cancelled dialog or a failed read: the window then shows EditCopy as it is.
    const config::RegisterImage edit = board_.lock()->EditCopy;
    showImage(edit, false);
}

bool TForm6::encode() {
    binder_.read(model_);
    config::RegisterImage edit = board_.lock()->EditCopy;
    const config::EncodeResult result = config::MakeRegistrs(model_, edit);
    if (!result.ok()) {
        prompts_.error(result.error);
        showList(QString::fromStdString(result.list));
        return false;
    }
    board_.lock()->EditCopy = edit;
    return true;
}

bool TForm6::addressAllowed() {
    bool refused = false;
    {
        const auto state = board_.lock();
        refused = state->EditCopy.address == link::kAllBoards &&
                  config::addressDiffers(state->EditCopy, state->BoardCopy);
    }
    if (refused) {
        prompts_.error(kAllBoardsRefused);
        showList(QString::fromLatin1(kAddressList));
    }
    return !refused;
}

void TForm6::showList(const QString& name) {
    auto* list = findChild<QWidget*>(name);
    if (list == nullptr) {
        return;
    }
    // The page of the tab control that holds the list.
    for (QWidget* w = list; w != nullptr; w = w->parentWidget()) {
        if (const int tab = ui_->PageControl1->indexOf(w); tab >= 0) {
            ui_->PageControl1->setCurrentIndex(tab);
            break;
        }
    }
    list->setFocus();
}

void TForm6::showImage(const config::RegisterImage& image, bool fromBoard) {
    if (fromBoard) {
        config::Stand_fields(image, model_);
    } else {
        config::Stand_fields_tmp(image, model_);
    }
    binder_.show(model_);
    if (fromBoard) {
        repaint();
    }
}

void TForm6::setReading(bool reading) {
    busy_ = reading;
    ui_->PageControl1->setEnabled(!reading);
    ui_->Panel1->setEnabled(!reading);
    setButtonsEnabled(!reading);
    if (reading) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
    }
}

void TForm6::setButtonsEnabled(bool enabled) {
    for (QPushButton* button : {ui_->Button2, ui_->Button4, ui_->Button5, ui_->BitBtn1}) {
        button->setEnabled(enabled);
    }
}

}  // namespace horalux::ui
