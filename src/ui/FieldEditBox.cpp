#include "ui/FieldEditBox.h"

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <algorithm>

#include "link/session/UserFieldPayload.h"
#include "ui/WindowPlacement.h"
#include "ui_FieldEditBox.h"

namespace horalux::ui {

Tfmodf::Tfmodf(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), ui_(std::make_unique<Ui::Tfmodf>()) {
    ui_->setupUi(this);
    setFixedSize(size());
    // Every way text gets in passes the key filter: no input method, no drops, and paste,
    // the context menu's paste and the selection paste are taken over below.
    ui_->Edit1->setAttribute(Qt::WA_InputMethodEnabled, false);
    ui_->Edit1->setAcceptDrops(false);
    ui_->Edit1->installEventFilter(this);
}

Tfmodf::~Tfmodf() = default;

void Tfmodf::prepare(int field, int length, const QString& text) {
    ui_->Label1->setText(QStringLiteral("Редактирование поля ") + QString::number(field));
    // A Qt limit cuts the text it is given; the field's current text, dots included, stays whole.
    ui_->Edit1->setMaxLength(std::max(length, static_cast<int>(text.size())));
    ui_->Edit1->setText(text);
    ui_->Edit1->selectAll();
    ui_->Edit1->setFocus();
}

QString Tfmodf::fieldText() const {
    return ui_->Edit1->text();
}

bool Tfmodf::Edit1KeyPress(QChar key) {
    if (key == u'\b' || key == u'\t') {
        return true;
    }
    const char32_t c = key.unicode();
    if (!link::isUserFieldKey(c)) {
        return false;
    }
    if (!link::takesDigitPosition(c)) {
        ui_->Edit1->setMaxLength(ui_->Edit1->maxLength() + 1);
    }
    return true;
}

void Tfmodf::typeText(const QString& text) {
    for (const QChar c : text) {
        // Tabs and backspaces in pasted text are not keys pressed.
        if (c != u'\b' && c != u'\t' && Edit1KeyPress(c)) {
            ui_->Edit1->insert(QString(c));
        }
    }
}

bool Tfmodf::eventFilter(QObject* watched, QEvent* event) {
    if (watched != ui_->Edit1) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
        case QEvent::KeyPress: {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->matches(QKeySequence::Paste)) {
                typeText(QGuiApplication::clipboard()->text());
                return true;
            }
            const QString text = key->text();
            // Keys without a printable character (arrows, Delete, Enter, shortcuts) act as usual.
            if (text.isEmpty() || !text.at(0).isPrint()) {
                return false;
            }
            if (text.size() == 1) {
                return !Edit1KeyPress(text.at(0));
            }
            typeText(text);
            return true;
        }
        case QEvent::ContextMenu: {
            auto* menuEvent = static_cast<QContextMenuEvent*>(event);
            std::unique_ptr<QMenu> menu(ui_->Edit1->createStandardContextMenu());
            if (auto* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"))) {
                disconnect(paste, &QAction::triggered, nullptr, nullptr);
                connect(paste, &QAction::triggered, this,
                        [this] { typeText(QGuiApplication::clipboard()->text()); });
            }
            menu->exec(menuEvent->globalPos());
            return true;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            const QClipboard* clipboard = QGuiApplication::clipboard();
            if (mouse->button() == Qt::MiddleButton && clipboard->supportsSelection()) {
                typeText(clipboard->text(QClipboard::Selection));
                return true;
            }
            return false;
        }
        default:
            return false;
    }
}

void Tfmodf::showEvent(QShowEvent* event) {
    centreOnScreen(*this);
    QDialog::showEvent(event);
}

}  // namespace horalux::ui
