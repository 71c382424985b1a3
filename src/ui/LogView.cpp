#include "ui/LogView.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QScrollBar>
#include <QStringList>
#include <algorithm>
#include <utility>

namespace horalux::ui {

namespace {
// New lines are shown at most this often. Each showing repaints the scroll bar, which costs
// more than the lines themselves; five times a second still reads as a live log.
constexpr int kRefreshIntervalMs = 200;
// Room between the box's edge and the text.
constexpr int kMargin = 3;
}  // namespace

LogView::LogView(QWidget* parent) : QAbstractScrollArea(parent) {
    // Hex bytes line up in columns, and a fixed pitch lets the widest line be known by its length.
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    viewport()->setCursor(Qt::IBeamCursor);
    updateMetrics();
}

void LogView::setMaximumLineCount(int count) {
    maxLines_ = std::max(1, count);
    while (lineCount() > maxLines_) {
        lines_.pop_front();
        ++firstNumber_;
        ++droppedSinceRefresh_;
    }
    scheduleRefresh();
}

void LogView::appendLine(QByteArray line) {
    widestChars_ = std::max(widestChars_, static_cast<int>(line.size()));
    lines_.push_back(std::move(line));
    if (lineCount() > maxLines_) {
        lines_.pop_front();
        ++firstNumber_;
        ++droppedSinceRefresh_;
    }
    scheduleRefresh();
}

void LogView::clear() {
    firstNumber_ += lineCount();
    lines_.clear();
    anchor_ = cursor_ = -1;
    droppedSinceRefresh_ = 0;
    widestChars_ = 0;
    refreshTimer_.stop();
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    viewport()->update();
}

QString LogView::toPlainText() const {
    QStringList all;
    all.reserve(lineCount());
    for (const QByteArray& text : lines_) {
        all.append(QString::fromLatin1(text));
    }
    return all.join(QLatin1Char('\n'));
}

QString LogView::selectedText() const {
    if (!hasSelection()) {
        return toPlainText();
    }
    const LineNumber from = std::max(std::min(anchor_, cursor_), firstNumber_);
    const LineNumber to = std::min(std::max(anchor_, cursor_), firstNumber_ + lineCount() - 1);
    QStringList picked;
    for (LineNumber n = from; n <= to; ++n) {
        picked.append(line(static_cast<int>(n - firstNumber_)));
    }
    return picked.join(QLatin1Char('\n'));
}

void LogView::copy() const {
    QApplication::clipboard()->setText(selectedText());
}

void LogView::selectAll() {
    if (lines_.empty()) {
        return;
    }
    anchor_ = firstNumber_;
    cursor_ = firstNumber_ + lineCount() - 1;
    viewport()->update();
}

void LogView::scheduleRefresh() {
    if (!refreshTimer_.isActive()) {
        refreshTimer_.start(kRefreshIntervalMs, this);
    }
}

void LogView::timerEvent(QTimerEvent* event) {
    if (event->timerId() == refreshTimer_.timerId()) {
        refreshTimer_.stop();
        refresh();
        return;
    }
    QAbstractScrollArea::timerEvent(event);
}

void LogView::refresh() {
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    // A reader scrolled back keeps his lines in sight while older ones drop off the top.
    const int kept = std::max(0, bar->value() - droppedSinceRefresh_);
    droppedSinceRefresh_ = 0;
    updateScrollBars();
    bar->setValue(following ? bar->maximum() : kept);
    viewport()->update();
}

void LogView::updateMetrics() {
    const QFontMetrics metrics(font());
    lineHeight_ = std::max(1, metrics.lineSpacing());
    charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
}

int LogView::visibleLineCount() const {
    return std::max(1, (viewport()->height() - kMargin) / lineHeight_);
}

void LogView::updateScrollBars() {
    const int visible = visibleLineCount();
    QScrollBar* vertical = verticalScrollBar();
    vertical->setPageStep(visible);
    vertical->setSingleStep(1);
    vertical->setRange(0, std::max(0, lineCount() - visible));
    QScrollBar* horizontal = horizontalScrollBar();
    const int width = widestChars_ * charWidth_ + 2 * kMargin;
    horizontal->setPageStep(viewport()->width());
    horizontal->setSingleStep(charWidth_);
    horizontal->setRange(0, std::max(0, width - viewport()->width()));
}

void LogView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    QScrollBar* bar = verticalScrollBar();
    const bool following = bar->value() >= bar->maximum();
    updateScrollBars();
    if (following) {
        bar->setValue(bar->maximum());
    }
}

void LogView::changeEvent(QEvent* event) {
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollBars();
        viewport()->update();
    }
}

void LogView::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(viewport());
    const int first = verticalScrollBar()->value();
    const int last = std::min(lineCount(), first + visibleLineCount() + 1);
    const int x = kMargin - horizontalScrollBar()->value();
    const int ascent = QFontMetrics(font()).ascent();
    const LineNumber selFrom = std::min(anchor_, cursor_);
    const LineNumber selTo = std::max(anchor_, cursor_);
    const QPalette& colours = palette();
    for (int i = first; i < last; ++i) {
        const int top = kMargin + (i - first) * lineHeight_;
        const LineNumber number = firstNumber_ + i;
        const bool selected = hasSelection() && number >= selFrom && number <= selTo;
        if (selected) {
            painter.fillRect(0, top, viewport()->width(), lineHeight_, colours.highlight());
            painter.setPen(colours.color(QPalette::HighlightedText));
        } else {
            painter.setPen(colours.color(QPalette::Text));
        }
        painter.drawText(x, top + ascent, line(i));
    }
}

LogView::LineNumber LogView::lineNumberAt(int y) const {
    const int row = std::max(0, (y - kMargin) / lineHeight_);
    const int index = std::min(lineCount() - 1, verticalScrollBar()->value() + row);
    return firstNumber_ + std::max(0, index);
}

void LogView::mousePressEvent(QMouseEvent* event) {
    if (lines_.empty()) {
        return;
    }
    if (event->button() == Qt::LeftButton) {
        const LineNumber at = lineNumberAt(event->position().toPoint().y());
        if (!(event->modifiers() & Qt::ShiftModifier) || !hasSelection()) {
            anchor_ = at;
        }
        cursor_ = at;
        viewport()->update();
    }
}

void LogView::mouseMoveEvent(QMouseEvent* event) {
    if ((event->buttons() & Qt::LeftButton) && hasSelection() && !lines_.empty()) {
        cursor_ = lineNumberAt(event->position().toPoint().y());
        viewport()->update();
    }
}

void LogView::keyPressEvent(QKeyEvent* event) {
    if (event == QKeySequence::Copy) {
        copy();
    } else if (event == QKeySequence::SelectAll) {
        selectAll();
    } else {
        QAbstractScrollArea::keyPressEvent(event);
    }
}

void LogView::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Копировать"), this, &LogView::copy);
    menu.addAction(QStringLiteral("Выделить всё"), this, &LogView::selectAll);
    menu.exec(event->globalPos());
}

}  // namespace horalux::ui
