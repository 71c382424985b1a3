#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "link/exchange/BoardState.h"

class QLabel;

namespace Ui {
class FieldPanel;
}

namespace horalux::link {
class BoardOperations;
}

namespace horalux::ui {

class Tfmodf;

// The lower panel of the main window: what the board's main field shows now, its sensor fields
// and its user fields. The field labels are made on first need and found again by name ("L01" +
// n, "L02" + n, "L00_1" + n, "L00_2" + n); they are never destroyed, only re-captioned and
// emptied. Main thread only.
class FieldPanel : public QWidget {
    Q_OBJECT
  public:
    explicit FieldPanel(QWidget* parent = nullptr);
    ~FieldPanel() override;

    // The decoded state shown, the operations an edited user field is sent with and the edit
    // box a click on a field opens; all must outlive the panel. Until attached, refreshes show
    // nothing and clicks open nothing.
    void attach(link::BoardState& board, link::BoardOperations& ops, Tfmodf& editBox);

    // After a status frame or a clock reply: the main field, the sensor fields, the user fields.
    void refreshBoardView();
    // After a user-field values reply; also the last step of refreshBoardView.
    void refreshUserFields();
    void refreshSensorFields();
    void showSensorField(int n);
    void showUserField(int n);

    // Opens the edit box for the field a label names; a label without a field number opens
    // nothing, and while no exchange runs the user is told so instead.
    void fieldClick(QObject* label);

    // The user-field edit box, reused for every edit; attached first.
    Tfmodf& editBox() { return *editBox_; }

    // The number in a field label's name from its sixth character on ("L00_17" and "L00_27"
    // both name field 7); nothing when there is none or it is past the last field.
    static std::optional<int> fieldNumber(const QString& labelName);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    struct SensorField {
        QString caption;
        QString value;
    };

    QLabel* fieldLabel(const QString& name) const;
    QLabel* makeLabel(const QString& name, int pointSize, const QColor& colour);
    void setLabelText(QLabel* label, const QString& text);
    void fitLabel(QLabel* label);
    void showSensorLabel(const QString& name, int left, int top, const QString& text,
                         const QColor& colour);
    void placeUserLabel(QLabel* label, int left, int top);
    void showUserFieldText(int n, const QString& text);
    void emptyLabel(const QString& name, bool dropCursor);

    std::unique_ptr<Ui::FieldPanel> ui_;
    Tfmodf* editBox_ = nullptr;
    link::BoardState* board_ = nullptr;
    link::BoardOperations* ops_ = nullptr;
    std::vector<SensorField> visibleSensorFields_;
    int userFieldCount_ = 0;  // as of the last refresh of the user fields
};

}  // namespace horalux::ui
