#include "ui/LogView.h"

#include <QAccessible>
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

#include "ui/LogViewAccessible.h"

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
    installLogViewAccessibility();
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

int LogView::characterCount(const QByteArray& line) {
    int count = 0;
    for (const char c : line) {
        count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    }
    return count;
}

void LogView::appendLine(QByteArray line) {
    widestChars_ = std::max(widestChars_, characterCount(line));
    lines_.push_back(std::move(line));
    if (lineCount() > maxLines_) {
        lines_.pop_front();
        ++firstNumber_;
        ++droppedSinceRefresh_;
    }
    scheduleRefresh();
}

void LogView::replaceLines(std::deque<QByteArray> lines) {
    if (lines.size() != lines_.size()) {
        return;  // not the kept lines in another form
    }
    lines_ = std::move(lines);
    widestChars_ = 0;
    for (const QByteArray& text : lines_) {
        widestChars_ = std::max(widestChars_, characterCount(text));
    }
    updateScrollBars();
    viewport()->update();
    notifyReaders();
}

bool LogView::find(const QString& text, bool forward) {
    const int count = lineCount();
    if (text.isEmpty() || count == 0) {
        return false;
    }
    int from = 0;
    if (hasSelection()) {
        from = static_cast<int>(std::clamp<LineNumber>(cursor_ - firstNumber_, 0, count - 1));
    } else {
        // Nothing selected: the search starts just outside the lines in sight.
        from = forward ? firstVisibleLine() - 1 : firstVisibleLine() + visibleLineCount();
    }
    const int step = forward ? 1 : -1;
    for (int i = 1; i <= count; ++i) {
        const int index = ((from + step * i) % count + count) % count;
        if (line(index).contains(text, Qt::CaseInsensitive)) {
            anchor_ = cursor_ = firstNumber_ + index;
            scrollToLine(index);
            viewport()->update();
            return true;
        }
    }
    return false;
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
    notifyReaders();
}

QString LogView::toPlainText() const {
    QStringList all;
    all.reserve(lineCount());
    for (const QByteArray& text : lines_) {
        all.append(QString::fromUtf8(text));
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

int LogView::firstVisibleLine() const {
    return verticalScrollBar()->value();
}

std::optional<std::pair<int, int>> LogView::selectedLines() const {
    if (!hasSelection()) {
        return std::nullopt;
    }
    const LineNumber from = std::max(std::min(anchor_, cursor_), firstNumber_);
    const LineNumber to = std::min(std::max(anchor_, cursor_), firstNumber_ + lineCount() - 1);
    return std::pair{static_cast<int>(from - firstNumber_), static_cast<int>(to - firstNumber_)};
}

void LogView::selectLines(int from, int to) {
    if (lines_.empty()) {
        return;
    }
    anchor_ = firstNumber_ + std::clamp(from, 0, lineCount() - 1);
    cursor_ = firstNumber_ + std::clamp(to, 0, lineCount() - 1);
    viewport()->update();
}

void LogView::clearSelection() {
    anchor_ = cursor_ = -1;
    viewport()->update();
}

void LogView::scrollToLine(int index) {
    if (refreshTimer_.isActive()) {  // the scroll bar must know the newest lines first
        refreshTimer_.stop();
        refresh();
    }
    QScrollBar* bar = verticalScrollBar();
    if (index < bar->value()) {
        bar->setValue(index);
    } else if (index >= bar->value() + visibleLineCount()) {
        bar->setValue(index - visibleLineCount() + 1);
    }
}

QRect LogView::characterRect(int index, int column) const {
    const int row = index - firstVisibleLine();
    if (row < 0 || row > visibleLineCount()) {
        return {};
    }
    const int x = kMargin - horizontalScrollBar()->value() + column * charWidth_;
    return {x, kMargin + row * lineHeight_, charWidth_, lineHeight_};
}

std::pair<int, int> LogView::positionAt(QPoint point) const {
    const int index = firstVisibleLine() + (point.y() - kMargin) / lineHeight_;
    if (point.y() < kMargin || index >= lineCount()) {
        return {-1, -1};
    }
    const int column = (point.x() - kMargin + horizontalScrollBar()->value()) / charWidth_;
    return {index, std::clamp(column, 0, lineLength(index))};
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
    notifyReaders();
}

// Only a screen reader that is listening is told; otherwise the lines cost nothing more.
void LogView::notifyReaders() {
    if (QAccessible::isActive()) {
        QAccessibleEvent changed(this, QAccessible::VisibleDataChanged);
        QAccessible::updateAccessibility(&changed);
    }
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
    QAction* copying = menu.addAction(QStringLiteral("Копировать"), this, &LogView::copy);
    copying->setShortcut(QKeySequence::Copy);
    QAction* all = menu.addAction(QStringLiteral("Выделить всё"), this, &LogView::selectAll);
    all->setShortcut(QKeySequence::SelectAll);
    if (!actions().isEmpty()) {
        menu.addSeparator();
        menu.addActions(actions());
    }
    menu.exec(event->globalPos());
}

}  // namespace horalux::ui
