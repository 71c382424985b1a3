#pragma once

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QByteArray>
#include <QRect>
#include <QString>
#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <utility>

namespace horalux::ui {

// A scrolling box of text lines that keeps only the newest ones. A text editor lays out and
// stores every line it is given, which on a busy line is thousands a second; this box only
// keeps the strings and draws the few lines in sight, a few times a second. Lines are kept as
// UTF-8 bytes (hex digits take one byte a character). Whole lines can be selected, copied and
// searched; nothing can be typed. The actions added to the view head its context menu. Screen
// readers reach the lines through LogViewAccessible.
class LogView final : public QAbstractScrollArea {
    Q_OBJECT
  public:
    explicit LogView(QWidget* parent = nullptr);

    // The oldest lines go once there are more than `count`.
    void setMaximumLineCount(int count);

    void appendLine(QByteArray line);
    // Puts new forms of the kept lines in their place, one for one: the selection and the
    // scrolling stay on the same lines.
    void replaceLines(std::deque<QByteArray> lines);
    void clear();

    int lineCount() const { return static_cast<int>(lines_.size()); }
    QString line(int index) const {
        return QString::fromUtf8(lines_[static_cast<std::size_t>(index)]);
    }
    const QByteArray& lineBytes(int index) const { return lines_[static_cast<std::size_t>(index)]; }
    // The lines kept, joined by line feeds.
    QString toPlainText() const;
    // The selected lines, or all of them when none is selected.
    QString selectedText() const;
    void copy() const;
    void selectAll();
    // Selects and brings into sight the next line (or the previous one) holding `text`, in any
    // case, from the selection or else from the line in sight at that end, wrapping around at
    // the ends. False when no line holds it.
    bool find(const QString& text, bool forward = true);

    // For assistive technology (LogViewAccessible), by line index: what is in sight and
    // selected, and the place of a character on the viewport.
    int lineLength(int index) const {
        return characterCount(lines_[static_cast<std::size_t>(index)]);
    }
    int firstVisibleLine() const;
    int visibleLineCount() const;
    std::optional<std::pair<int, int>> selectedLines() const;  // first and last
    void selectLines(int from, int to);
    void clearSelection();
    void scrollToLine(int index);  // brings the line into sight
    QRect characterRect(int index, int column) const;
    std::pair<int, int> positionAt(QPoint point) const;  // line and column; -1 when none

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void changeEvent(QEvent* event) override;

  private:
    // Lines are numbered from the first ever appended, so a selection stays on its lines while
    // older ones drop off the top.
    using LineNumber = std::int64_t;

    // Characters of a UTF-8 line: every byte but the continuation bytes.
    static int characterCount(const QByteArray& line);

    void scheduleRefresh();
    void refresh();
    void notifyReaders();
    void updateMetrics();
    void updateScrollBars();
    LineNumber lineNumberAt(int y) const;
    // Lines selected that have since dropped off the top no longer count.
    bool hasSelection() const { return anchor_ >= 0 && std::max(anchor_, cursor_) >= firstNumber_; }

    std::deque<QByteArray> lines_;
    int maxLines_ = 10000;
    LineNumber firstNumber_ = 0;  // number of the oldest line kept
    LineNumber anchor_ = -1;      // selection: where it started and where it ends, or -1
    LineNumber cursor_ = -1;
    int droppedSinceRefresh_ = 0;
    int widestChars_ = 0;
    int lineHeight_ = 1;
    int charWidth_ = 1;
    QBasicTimer refreshTimer_;
};

}  // namespace horalux::ui
