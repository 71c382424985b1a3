#include "ui/FieldPanel.h"

#include <QDialog>
#include <QLabel>
#include <QMouseEvent>
#include <algorithm>

#include "link/session/BoardOperations.h"
#include "ui/FieldEditBox.h"
#include "ui_FieldPanel.h"

namespace horalux::ui {

namespace {

// Captions of the sensor fields; entry i shows SensorFieldTexts[i + 1] when displayFormats[i + 1]
// is not 0.
constexpr const char* kSensorFieldCatalog[] = {
    "Температура 1", "Температура 2", "Температура 3", "Давление", "Влажность", "Радиация", "Дата",
};
constexpr std::size_t kSensorEntries = std::size(kSensorFieldCatalog);
constexpr std::size_t kDateEntry = 6;
constexpr int kSensorValueChars = 10;

constexpr int kSensorCaptionLeft = 16;
constexpr int kSensorValueLeft = 200;
constexpr int kSensorTop = 168;
constexpr int kSensorRow = 24;
constexpr int kSensorPointSize = 14;

constexpr int kUserCaptionLeft = 400;
constexpr int kUserTextLeft = 470;
constexpr int kUserColumn = 152;
constexpr int kUserTop = 56;
constexpr int kUserRow = 22;
constexpr int kUserRowsPerColumn = 16;
constexpr int kUserPointSize = 12;

constexpr int kMainFieldPixels = 64;
// Room kept free before whatever stands to the right of a label.
constexpr int kRightMargin = 4;

// The whole text of a label; what it shows may be elided to fit the panel.
constexpr const char* kFullText = "fullText";

const QColor kCaptionColour(255, 255, 255);
const QColor kValueColour(255, 0, 0);

QString numbered(const char* prefix, int n) {
    return QLatin1String(prefix) + QString::number(n);
}

QString userFieldCaption(int n) {
    return QStringLiteral("Поле ") + QString::number(n);
}

// The user-field caption type: the table's size, made smaller where the face is too wide for the
// widest caption to end before the field's text begins.
QFont userCaptionFont(QFont font) {
    const QString widest = userFieldCaption(static_cast<int>(link::kMaxUserFields) - 1);
    const int room = kUserTextLeft - kUserCaptionLeft - kRightMargin;
    while (font.pointSizeF() > 6 && QFontMetrics(font).horizontalAdvance(widest) > room) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
    }
    return font;
}

}  // namespace

FieldPanel::FieldPanel(QWidget* parent) : QWidget(parent), ui_(std::make_unique<Ui::FieldPanel>()) {
    ui_->setupUi(this);
    QFont mainFont = ui_->Label8->font();
    mainFont.setPixelSize(kMainFieldPixels);
    ui_->Label8->setFont(mainFont);
    ui_->field->installEventFilter(this);
}

FieldPanel::~FieldPanel() = default;

void FieldPanel::attach(link::BoardState& board, link::BoardOperations& ops, Tfmodf& editBox) {
    board_ = &board;
    ops_ = &ops;
    editBox_ = &editBox;
}

std::optional<int> FieldPanel::fieldNumber(const QString& labelName) {
    bool ok = false;
    const int n = labelName.mid(5).toInt(&ok);
    if (!ok || n < 0 || n >= static_cast<int>(link::kMaxUserFields)) {
        return std::nullopt;
    }
    return n;
}

void FieldPanel::refreshBoardView() {
    if (board_ == nullptr) {
        return;
    }
    QString mainText;
    {
        // The line's status frames: a slave's window shows its master's time.
        const auto state = board_->lineStatus();
        mainText = QString::fromStdString(std::string(link::currentMainText(*state)));
    }
    setLabelText(ui_->Label8, mainText);
    ui_->Label8->repaint();
    refreshSensorFields();
    refreshUserFields();
}

void FieldPanel::refreshSensorFields() {
    if (board_ == nullptr) {
        return;
    }
    std::array<QString, kSensorEntries> values;
    std::array<bool, kSensorEntries> shown{};
    {
        const auto state = board_->lineStatus();
        for (std::size_t i = 0; i < kSensorEntries; ++i) {
            values[i] =
                QString::fromStdString(state->SensorFieldTexts[i + 1]).left(kSensorValueChars);
            shown[i] = state->BoardCopy.displayFormats[i + 1] != 0;
        }
    }
    // The date leads the list, as on the board.
    visibleSensorFields_.clear();
    if (shown[kDateEntry]) {
        visibleSensorFields_.push_back(
            {QString::fromUtf8(kSensorFieldCatalog[kDateEntry]), values[kDateEntry]});
    }
    for (std::size_t i = 0; i < kDateEntry; ++i) {
        if (shown[i]) {
            visibleSensorFields_.push_back({QString::fromUtf8(kSensorFieldCatalog[i]), values[i]});
        }
    }
    for (int n = 0; n < static_cast<int>(kSensorEntries); ++n) {
        emptyLabel(numbered("L01", n), false);
        emptyLabel(numbered("L02", n), false);
    }
    for (int n = 0; n < static_cast<int>(visibleSensorFields_.size()); ++n) {
        showSensorField(n);
    }
}

void FieldPanel::showSensorField(int n) {
    if (n < 0 || n >= static_cast<int>(visibleSensorFields_.size())) {
        return;
    }
    const SensorField& entry = visibleSensorFields_[static_cast<std::size_t>(n)];
    const int top = kSensorTop + kSensorRow * n;
    showSensorLabel(numbered("L01", n), kSensorCaptionLeft, top, entry.caption, kCaptionColour);
    showSensorLabel(numbered("L02", n), kSensorValueLeft, top, entry.value, kValueColour);
}

void FieldPanel::refreshUserFields() {
    if (board_ == nullptr) {
        return;
    }
    int count = 0;
    std::array<QString, link::kMaxUserFields> texts;
    {
        const auto state = board_->lock();
        count = std::clamp(state->UserFieldCount, 0, static_cast<int>(link::kMaxUserFields));
        for (int n = 0; n < count; ++n) {
            texts[static_cast<std::size_t>(n)] =
                QString::fromStdString(state->UserFieldTexts[static_cast<std::size_t>(n)]);
        }
    }
    userFieldCount_ = count;
    for (int n = count; n < static_cast<int>(link::kMaxUserFields); ++n) {
        emptyLabel(numbered("L00_1", n), true);
        emptyLabel(numbered("L00_2", n), true);
    }
    for (int n = 0; n < count; ++n) {
        showUserFieldText(n, texts[static_cast<std::size_t>(n)]);
    }
}

void FieldPanel::showUserField(int n) {
    if (board_ == nullptr || n < 0 || n >= static_cast<int>(link::kMaxUserFields)) {
        return;
    }
    QString text;
    {
        const auto state = board_->lock();
        text = QString::fromStdString(state->UserFieldTexts[static_cast<std::size_t>(n)]);
    }
    showUserFieldText(n, text);
}

void FieldPanel::showUserFieldText(int n, const QString& text) {
    const int left = kUserColumn * (n / kUserRowsPerColumn);
    const int top = kUserTop + kUserRow * (n % kUserRowsPerColumn);

    const QString captionName = numbered("L00_1", n);
    QLabel* caption = fieldLabel(captionName);
    if (caption == nullptr) {
        caption = makeLabel(captionName, kUserPointSize, kCaptionColour);
        const int textAscent = caption->fontMetrics().ascent();
        caption->setFont(userCaptionFont(caption->font()));
        // A smaller caption type sits on the text's baseline; the label keeps its place.
        caption->setContentsMargins(0, textAscent - caption->fontMetrics().ascent(), 0, 0);
        placeUserLabel(caption, kUserCaptionLeft + left, top);
        setLabelText(caption, userFieldCaption(n));
    } else if (caption->property(kFullText).toString().isEmpty()) {
        setLabelText(caption, userFieldCaption(n));
    }
    caption->setCursor(Qt::PointingHandCursor);
    caption->repaint();

    const QString textName = numbered("L00_2", n);
    QLabel* value = fieldLabel(textName);
    if (value == nullptr) {
        value = makeLabel(textName, kUserPointSize, kValueColour);
        placeUserLabel(value, kUserTextLeft + left, top);
    }
    setLabelText(value, text);
    value->setCursor(Qt::PointingHandCursor);
    value->repaint();
}

void FieldPanel::fieldClick(QObject* label) {
    const auto n = label != nullptr ? fieldNumber(label->objectName()) : std::nullopt;
    if (!n || board_ == nullptr || ops_ == nullptr) {
        return;
    }
    // The emptied labels stand for fields the board no longer shows.
    if (*n >= userFieldCount_) {
        return;
    }
    // Said before the box opens: text typed for a board that cannot take it would be lost.
    if (!ops_->checkConnected()) {
        return;
    }
    int length = 0;
    QString text;
    {
        const auto state = board_->lock();
        length = state->BoardCopy.userScreens[static_cast<std::size_t>(*n)];
        text = QString::fromStdString(state->UserFieldTexts[static_cast<std::size_t>(*n)]);
    }
    editBox_->prepare(*n, length, text);
    // The exchange may have ended while the box was open: then nothing is sent and the field
    // keeps its old text.
    if (editBox_->exec() != QDialog::Accepted || !ops_->checkConnected()) {
        return;
    }
    // Stored even when the write is not answered: the failed-request dialog tells the user.
    ops_->writeUserField(static_cast<std::size_t>(*n), editBox_->fieldText().toStdString());
    showUserField(*n);
}

bool FieldPanel::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const auto* widget = qobject_cast<QWidget*>(watched);
        if (mouse->button() == Qt::LeftButton && widget != nullptr &&
            widget->rect().contains(mouse->position().toPoint())) {
            fieldClick(watched);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void FieldPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    for (QLabel* label : findChildren<QLabel*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (label->property(kFullText).isValid()) {
            fitLabel(label);
        }
    }
}

QLabel* FieldPanel::fieldLabel(const QString& name) const {
    return findChild<QLabel*>(name, Qt::FindDirectChildrenOnly);
}

QLabel* FieldPanel::makeLabel(const QString& name, int pointSize, const QColor& colour) {
    auto* label = new QLabel(this);
    label->setObjectName(name);
    QFont font = this->font();
    font.setPointSize(pointSize);
    font.setBold(true);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->show();
    return label;
}

void FieldPanel::setLabelText(QLabel* label, const QString& text) {
    label->setProperty(kFullText, text);
    fitLabel(label);
}

// Labels grow to fit their text up to the panel's right edge, or up to the second column of user
// fields while it is in use; a longer text is elided and shown whole as the tooltip.
void FieldPanel::fitLabel(QLabel* label) {
    const QString full = label->property(kFullText).toString();
    int right = width();
    if (userFieldCount_ > kUserRowsPerColumn && label->x() == kUserTextLeft &&
        label->objectName().startsWith(QLatin1String("L00_2"))) {
        right = kUserCaptionLeft + kUserColumn;
    }
    const int room = std::max(0, right - label->x() - kRightMargin);
    const QFontMetrics metrics(label->font());
    const QString shown = metrics.horizontalAdvance(full) > room
                              ? metrics.elidedText(full, Qt::ElideRight, room)
                              : full;
    label->setText(shown);
    label->setToolTip(shown == full ? QString() : full);
    label->resize(shown.isEmpty() ? QSize(0, label->height()) : label->sizeHint());
}

void FieldPanel::showSensorLabel(const QString& name, int left, int top, const QString& text,
                                 const QColor& colour) {
    QLabel* label = fieldLabel(name);
    if (label == nullptr) {
        label = makeLabel(name, kSensorPointSize, colour);
    }
    label->move(left, top);
    setLabelText(label, text);
    label->repaint();
}

void FieldPanel::placeUserLabel(QLabel* label, int left, int top) {
    label->move(left, top);
    label->installEventFilter(this);
}

void FieldPanel::emptyLabel(const QString& name, bool dropCursor) {
    QLabel* label = fieldLabel(name);
    if (label == nullptr) {
        return;
    }
    setLabelText(label, QString());
    if (dropCursor) {
        label->unsetCursor();
    }
    label->repaint();
}

}  // namespace horalux::ui
