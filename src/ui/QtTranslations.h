#pragma once

class QCoreApplication;
class QTranslator;

namespace horalux::ui {

// Qt's own texts (the file dialogs, an edit box's context menu, the standard buttons) in Russian,
// as the rest of the program: qtbase_ru.qm from the folder "translations" beside the program
// (where the Windows installer puts it), else from Qt's translation folder (where the system's
// package puts it). The translator installed, owned by `application`; nullptr when neither
// holds it: Qt's texts then stay English.
QTranslator* loadQtTranslations(QCoreApplication& application);

}  // namespace horalux::ui
