#pragma once

#include <QPointer>
#include <QWidget>

#include "link/wire/Prompts.h"

namespace horalux::ui {

// The core's questions and notices as message boxes over the main window. Questions are
// warnings captioned "Warning" with "OK" and "Cancel" (these words kept as they are, whatever
// Qt's translation would make of the buttons); notices have one OK button and the caption
// "Horalux".
class QtPrompts final : public link::Prompts {
  public:
    explicit QtPrompts(QWidget* parent = nullptr) : parent_(parent) {}
    // The window the boxes show over, once it exists (the prompts are the session's, made first).
    void setParent(QWidget* parent) { parent_ = parent; }

    // An error text may carry its cause after the first line break; the cause becomes the
    // box's informative text ("Error opening port" / why).
    void notify(std::string_view text) override;
    void error(std::string_view text) override;
    bool askRetry(std::string_view text) override;

    // Once the program is closing no box is shown and every question is answered Cancel.
    void setClosing() { closing_ = true; }

  private:
    QPointer<QWidget> parent_;
    bool closing_ = false;
};

}  // namespace horalux::ui
