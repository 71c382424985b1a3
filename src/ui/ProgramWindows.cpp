#include "ui/ProgramWindows.h"

#include "ui/ConnectionDialog.h"
#include "ui/FieldEditBox.h"
#include "ui/FieldPanel.h"
#include "ui/ParametersWindow.h"
#include "ui/RegisterFileDialogs.h"
#include "ui/SettingsWindow.h"

namespace horalux::ui {

ProgramWindows::ProgramWindows(MainWindowOptions options, RegisterFileDialogs* dialogs) {
    if (dialogs == nullptr) {
        fileDialogs_ = std::make_unique<QtRegisterFileDialogs>();
        dialogs = fileDialogs_.get();
    }
    form1_ = std::make_unique<TForm1>(std::move(options));
    TForm1& main = *form1_;
    form6_ =
        std::make_unique<TForm6>(main.operations(), main.board(), main.prompts(), *dialogs, &main);
    form3_ = std::make_unique<TForm3>(&main);
    form5_ = std::make_unique<TForm5>(main, &main);
    editBox_ = std::make_unique<Tfmodf>();

    main.setWindows(form6_.get(), form3_.get(), form5_.get());
    QObject::connect(&main, &TForm1::busyStateChanged, form6_.get(), &TForm6::followBusyState);
    // A click on a field opens the edit box in place; OK sends the field through the session.
    main.fieldPanel().attach(main.board(), main.operations(), *editBox_);
}

// The members go in the reverse order: the later windows are the main window's children.
ProgramWindows::~ProgramWindows() = default;

}  // namespace horalux::ui
