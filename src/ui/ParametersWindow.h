#pragma once

#include <QDialog>
#include <memory>
#include <string>

namespace Ui {
class TForm3;
}

namespace horalux::ui {

// The program parameters window, "Параметры ": the time-server switch and host. The caller shows
// the current values, runs the window modally and takes the values back only when it closed with
// "Сохранить".
class TForm3 final : public QDialog {
    Q_OBJECT
  public:
    explicit TForm3(QWidget* parent = nullptr);
    ~TForm3() override;

    // Opens the window with these values; true (and the values replaced) when saved.
    bool edit(bool& sinhrTime, std::string& sinhrTimeServer);

    // For the caller that runs the window itself.
    void showValues(bool sinhrTime, const std::string& sinhrTimeServer);
    bool sinhrTime() const;
    std::string sinhrTimeServer() const;

  private:
    std::unique_ptr<Ui::TForm3> ui_;
};

}  // namespace horalux::ui
