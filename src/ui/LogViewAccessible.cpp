#include "ui/LogViewAccessible.h"

#include <algorithm>

#include "ui/LogView.h"

namespace horalux::ui {

namespace {

QAccessibleInterface* logViewFactory(const QString& /*className*/, QObject* object) {
    if (auto* view = qobject_cast<LogView*>(object)) {
        return new LogViewAccessible(view);
    }
    return nullptr;
}

bool byLines(QAccessible::TextBoundaryType type) {
    return type == QAccessible::LineBoundary || type == QAccessible::ParagraphBoundary ||
           type == QAccessible::NoBoundary;
}

}  // namespace

void installLogViewAccessibility() {
    static const bool installed = [] {
        QAccessible::installFactory(&logViewFactory);
        return true;
    }();
    (void)installed;
}

// A log is read, never typed into: it is a text field that cannot be edited.
LogViewAccessible::LogViewAccessible(LogView* view)
    : QAccessibleWidget(view, QAccessible::EditableText) {}

const LogView& LogViewAccessible::view() const {
    return *static_cast<const LogView*>(widget());
}

LogView& LogViewAccessible::view() {
    return *static_cast<LogView*>(widget());
}

void* LogViewAccessible::interface_cast(QAccessible::InterfaceType type) {
    if (type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State LogViewAccessible::state() const {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

int LogViewAccessible::offsetOf(int line) const {
    int offset = 0;
    for (int i = 0; i < line; ++i) {
        offset += view().lineLength(i) + 1;
    }
    return offset;
}

LogViewAccessible::Place LogViewAccessible::placeOf(int offset) const {
    const int count = view().lineCount();
    int start = 0;
    for (int i = 0; i < count; ++i) {
        const int length = view().lineLength(i);
        if (offset <= start + length || i == count - 1) {
            return {i, std::clamp(offset - start, 0, length)};
        }
        start += length + 1;
    }
    return {-1, 0};
}

int LogViewAccessible::characterCount() const {
    const int count = view().lineCount();
    return count == 0 ? 0 : offsetOf(count) - 1;
}

QString LogViewAccessible::text(int startOffset, int endOffset) const {
    const int count = view().lineCount();
    QString result;
    int start = 0;
    for (int i = 0; i < count && start < endOffset; ++i) {
        const int length = view().lineLength(i) + (i + 1 < count ? 1 : 0);
        if (start + length > startOffset) {
            QString line = view().line(i);
            if (i + 1 < count) {
                line += QLatin1Char('\n');
            }
            const int from = std::max(0, startOffset - start);
            result += line.mid(from, std::min(length, endOffset - start) - from);
        }
        start += length;
    }
    return result;
}

QString LogViewAccessible::wholeLine(int line, int* startOffset, int* endOffset) const {
    if (line < 0 || line >= view().lineCount()) {
        *startOffset = *endOffset = -1;
        return {};
    }
    *startOffset = offsetOf(line);
    const bool last = line + 1 == view().lineCount();
    *endOffset = *startOffset + view().lineLength(line) + (last ? 0 : 1);
    return last ? view().line(line) : view().line(line) + QLatin1Char('\n');
}

QString LogViewAccessible::textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                        int* startOffset, int* endOffset) const {
    if (offset == -1) {
        offset = characterCount();
    }
    if (byLines(boundaryType) && offset >= 0 && offset <= characterCount()) {
        return wholeLine(placeOf(offset).line, startOffset, endOffset);
    }
    return QAccessibleTextInterface::textAtOffset(offset, boundaryType, startOffset, endOffset);
}

QString LogViewAccessible::textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                            int* startOffset, int* endOffset) const {
    if (offset == -1) {
        offset = characterCount();
    }
    if (byLines(boundaryType) && offset >= 0 && offset <= characterCount()) {
        return wholeLine(placeOf(offset).line - 1, startOffset, endOffset);
    }
    return QAccessibleTextInterface::textBeforeOffset(offset, boundaryType, startOffset, endOffset);
}

QString LogViewAccessible::textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                                           int* startOffset, int* endOffset) const {
    if (offset == -1) {
        offset = characterCount();
    }
    if (byLines(boundaryType) && offset >= 0 && offset <= characterCount()) {
        const int line = placeOf(offset).line;
        return wholeLine(line < 0 ? -1 : line + 1, startOffset, endOffset);
    }
    return QAccessibleTextInterface::textAfterOffset(offset, boundaryType, startOffset, endOffset);
}

void LogViewAccessible::selection(int selectionIndex, int* startOffset, int* endOffset) const {
    const auto lines = view().selectedLines();
    if (selectionIndex != 0 || !lines) {
        *startOffset = *endOffset = 0;
        return;
    }
    *startOffset = offsetOf(lines->first);
    *endOffset = offsetOf(lines->second) + view().lineLength(lines->second);
}

int LogViewAccessible::selectionCount() const {
    return view().selectedLines() ? 1 : 0;
}

// Whole lines are selected: those the range touches.
void LogViewAccessible::setSelection(int /*selectionIndex*/, int startOffset, int endOffset) {
    if (startOffset == endOffset) {
        view().clearSelection();
        return;
    }
    const int from = std::min(startOffset, endOffset);
    const int to = std::max(startOffset, endOffset) - 1;
    view().selectLines(placeOf(from).line, placeOf(to).line);
}

void LogViewAccessible::addSelection(int startOffset, int endOffset) {
    setSelection(0, startOffset, endOffset);  // one selection at a time
}

void LogViewAccessible::removeSelection(int /*selectionIndex*/) {
    view().clearSelection();
}

int LogViewAccessible::cursorPosition() const {
    if (view().lineCount() == 0) {
        return 0;
    }
    const auto lines = view().selectedLines();
    return offsetOf(lines ? lines->first : view().firstVisibleLine());
}

void LogViewAccessible::setCursorPosition(int position) {
    view().scrollToLine(placeOf(position).line);
}

void LogViewAccessible::scrollToSubstring(int startIndex, int /*endIndex*/) {
    view().scrollToLine(placeOf(startIndex).line);
}

QRect LogViewAccessible::characterRect(int offset) const {
    const Place place = placeOf(offset);
    const QRect local = view().characterRect(place.line, place.column);
    if (place.line < 0 || local.isNull()) {
        return {};
    }
    return {view().viewport()->mapToGlobal(local.topLeft()), local.size()};
}

int LogViewAccessible::offsetAtPoint(const QPoint& point) const {
    const auto [line, column] = view().positionAt(view().viewport()->mapFromGlobal(point));
    return line < 0 ? -1 : offsetOf(line) + column;
}

QString LogViewAccessible::attributes(int /*offset*/, int* startOffset, int* endOffset) const {
    *startOffset = 0;  // one plain text throughout
    *endOffset = characterCount();
    return {};
}

}  // namespace horalux::ui
