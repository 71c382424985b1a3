#pragma once

#include <QDialog>
#include <QString>
#include <memory>

namespace Ui {
class LogFindDialog;
}

namespace horalux::ui {

// "Найти" for the exchange log: a text and the way to search. It stays open beside the log
// while the user steps from match to match; the log does the searching.
class LogFindDialog final : public QDialog {
    Q_OBJECT
  public:
    explicit LogFindDialog(QWidget* parent = nullptr);
    ~LogFindDialog() override;

    // Shows the dialog with `text` selected, ready to be typed over.
    void open(const QString& text);
    // Says whether the last search found a line.
    void setFound(bool found);

  signals:
    void findRequested(const QString& text, bool forward);

  private:
    void request(bool forward);

    std::unique_ptr<Ui::LogFindDialog> ui_;
};

}  // namespace horalux::ui
