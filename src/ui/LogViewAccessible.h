#pragma once

#include <QAccessibleWidget>

namespace horalux::ui {

class LogView;

// What assistive technology reads of a LogView, which draws its lines itself: the kept lines as
// one text joined by line feeds, the selection, and a caret on the first line in sight (or on
// the selection) so that reading from the caret starts with what is on screen. Everything is
// worked out when a client asks; the view keeps nothing for it.
class LogViewAccessible final : public QAccessibleWidget, public QAccessibleTextInterface {
  public:
    explicit LogViewAccessible(LogView* view);

    void* interface_cast(QAccessible::InterfaceType type) override;
    QAccessible::State state() const override;

    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    using QAccessibleWidget::text;
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                             int* startOffset, int* endOffset) const override;
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundaryType,
                            int* startOffset, int* endOffset) const override;
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundaryType, int* startOffset,
                         int* endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

  private:
    struct Place {
        int line;    // -1 in an empty log
        int column;  // the line's length is its line feed
    };
    const LogView& view() const;
    LogView& view();
    int offsetOf(int line) const;
    Place placeOf(int offset) const;
    // Line `line` with its line feed, as a line boundary is read; empty offsets -1 when none.
    QString wholeLine(int line, int* startOffset, int* endOffset) const;
};

// Has QAccessible build a LogViewAccessible for every LogView; calling it again does nothing.
void installLogViewAccessibility();

}  // namespace horalux::ui
