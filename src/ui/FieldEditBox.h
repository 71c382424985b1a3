#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class Tfmodf;
}

namespace horalux::ui {

// The user-field edit box: the new text of one field, typed through a filter that lets in only
// what a seven-segment digit row can show. Made once and reused; prepare() before each showing.
class Tfmodf : public QDialog {
    Q_OBJECT
  public:
    explicit Tfmodf(QWidget* parent = nullptr);
    ~Tfmodf() override;

    // Sets the box up for field `field` of `length` digit positions holding `text`.
    void prepare(int field, int length, const QString& text);
    QString fieldText() const;

    // The key filter of the text field: whether a typed character may go in. A "." grows the
    // limit by one, since the point lights up a digit position rather than taking one.
    bool Edit1KeyPress(QChar key);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    // Pasted or dropped text goes in character by character as if typed.
    void typeText(const QString& text);

    std::unique_ptr<Ui::Tfmodf> ui_;
};

}  // namespace horalux::ui
