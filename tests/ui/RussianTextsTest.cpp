// Every window and dialog the user meets speaks Russian, Qt's own included: a walk through them
// all that finds no English word but port and file names and the few words the program keeps.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTimer>
#include <QTranslator>
#include <memory>

#include "WindowHarness.h"
#include "ui/ConnectionDialog.h"
#include "ui/FieldEditBox.h"
#include "ui/LineBoardsWindow.h"
#include "ui/LogFindDialog.h"
#include "ui/MainWindow.h"
#include "ui/ParametersWindow.h"
#include "ui/QtTranslations.h"
#include "ui/RegisterFileDialogs.h"
#include "ui/ScanDialog.h"
#include "ui/SettingsWindow.h"

namespace horalux::test {
namespace {

// Words the program keeps as they are: its name, the captions and buttons of its questions, the
// mode "Slave" and the box "Полный "slave"", the free register "SE", the parameters' tab
// "Internet" and its "URL", and the field panel's template label "field", black on black.
const QStringList kKeptWords = {"Horalux", "Warning", "OK",       "Cancel", "Slave",
                                "slave",   "SE",      "Internet", "URL",    "field"};

// What is not a word of the interface: port names and forms, file names and filters, register
// values ($0A/10), a shortcut after its menu text.
const QRegularExpression kNotWords(QStringLiteral(
    R"([a-z0-9+]+://\S*|(?<!\w)/[\w./-]*|\b(?:tty|COM)\w*|[\w.*-]*\.(?:cs|txt|ini)\b|\bcs\b|)"
    R"(\(\*\)|)"
    R"(\$[0-9A-F]{2}/\d+|\t.*$)"));
const QRegularExpression kEnglishWord(QStringLiteral("[A-Za-z]{2,}"));

// The English words of `texts`, each with the text it was found in.
QStringList englishIn(const QStringList& texts) {
    QStringList found;
    for (QString text : texts) {
        const QString original = text;
        text.remove(QLatin1Char('&'));
        text.replace(kNotWords, QStringLiteral(" "));
        for (auto match = kEnglishWord.globalMatch(text); match.hasNext();) {
            const QString word = match.next().captured();
            if (!kKeptWords.contains(word)) {
                found << word + QStringLiteral(" in \"") + original + QStringLiteral("\"");
            }
        }
    }
    return found;
}

void addActions(const QList<QAction*>& actions, QStringList& out) {
    for (QAction* action : actions) {
        out << action->text() << action->toolTip();
        if (action->menu() != nullptr) {
            addActions(action->menu()->actions(), out);
        }
    }
}

// Everything a window shows as text: titles, labels, buttons, groups, tabs, list items, table
// headers and cells, menus and hints. The port list's items are port names, left out.
QStringList textsOf(QWidget& window) {
    QStringList out;
    QList<QWidget*> widgets = window.findChildren<QWidget*>();
    widgets.prepend(&window);
    for (QWidget* w : widgets) {
        out << w->windowTitle() << w->toolTip() << w->accessibleName();
        addActions(w->actions(), out);
        if (auto* label = qobject_cast<QLabel*>(w)) {
            out << label->text();
        } else if (auto* button = qobject_cast<QAbstractButton*>(w)) {
            out << button->text();
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            out << group->title();
        } else if (auto* tabs = qobject_cast<QTabWidget*>(w)) {
            for (int i = 0; i < tabs->count(); ++i) {
                out << tabs->tabText(i);
            }
        } else if (auto* box = qobject_cast<QComboBox*>(w)) {
            for (int i = 0; box->objectName() != "ComboBox1" && i < box->count(); ++i) {
                out << box->itemText(i);
            }
        } else if (auto* edit = qobject_cast<QLineEdit*>(w)) {
            out << edit->placeholderText();
        } else if (auto* view = qobject_cast<QAbstractItemView*>(w); view && view->model()) {
            const QAbstractItemModel& model = *view->model();
            for (int c = 0; c < model.columnCount(); ++c) {
                out << model.headerData(c, Qt::Horizontal).toString()
                    << model.headerData(c, Qt::Horizontal, Qt::ToolTipRole).toString();
            }
            // A file dialog's cells are file names.
            for (int r = 0; !qobject_cast<QFileDialog*>(&window) && r < model.rowCount(); ++r) {
                for (int c = 0; c < model.columnCount(); ++c) {
                    out << model.index(r, c).data().toString();
                }
            }
        }
    }
    return out;
}

// Runs `open`, which shows a modal dialog, and takes the dialog's texts before closing it.
QStringList textsOfModal(const std::function<void()>& open, QString* title = nullptr) {
    QStringList texts;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QWidget* modal = QApplication::activeModalWidget()) {
            texts = textsOf(*modal);
            if (title != nullptr) {
                *title = modal->windowTitle();
            }
            poll.stop();
            if (auto* dialog = qobject_cast<QDialog*>(modal)) {
                dialog->reject();
            }
        }
    });
    poll.start(5);
    open();
    return texts;
}

class RussianTexts : public testing::Test {
  protected:
    RussianTexts()
        : h_({{"--speed", "115200"},
              "[Interface]\nComPort=%PORT%\nComSpeed=115200\nsysnum=1\n",
              true,
              true}) {
        translator_.reset(ui::loadQtTranslations(*QCoreApplication::instance()));
        // Made before the translation: made again, so that they take it in their texts.
        h_.destroyWindows();
        h_.createWindows();
    }
    ~RussianTexts() override {
        if (translator_) {
            QCoreApplication::removeTranslator(translator_.get());
        }
    }

    WindowHarness h_;
    std::unique_ptr<QTranslator> translator_;
};

TEST_F(RussianTexts, EveryWindowAndDialogSpeaksRussian) {
    ASSERT_NE(translator_, nullptr) << "qtbase_ru.qm (Debian package qt6-translations-l10n)";
    ui::ProgramWindows& windows = h_.windows();
    h_.answerer.stop();  // the dialogs below are looked at, not answered
    struct Seen {
        const char* what;
        QStringList texts;
    };
    std::vector<Seen> seen = {
        {"main window", textsOf(windows.main())},
        {"remote settings window", textsOf(windows.remoteSettings())},
        {"program parameters window", textsOf(windows.parameters())},
        {"connection dialog", textsOf(windows.connection())},
        {"user-field edit box", textsOf(windows.editBox())},
    };
    windows.lineBoards().showBoards();
    seen.push_back({"line window", textsOf(windows.lineBoards())});
    ui::ScanDialog scan(windows.session(), h_.port(), 9600);
    seen.push_back({"search window", textsOf(scan)});
    ui::LogFindDialog find;
    seen.push_back({"log find dialog", textsOf(find)});

    // The edit box's context menu is Qt's own.
    auto* edit = windows.editBox().findChild<QLineEdit*>("Edit1");
    ASSERT_NE(edit, nullptr);
    const std::unique_ptr<QMenu> menu(edit->createStandardContextMenu());
    QStringList menuTexts;
    addActions(menu->actions(), menuTexts);
    EXPECT_GE(menuTexts.size(), 6);
    seen.push_back({"edit box's context menu", menuTexts});

    // Qt's file dialogs, as the program opens them, each under its own title.
    ui::QtRegisterFileDialogs files;
    QWidget& parent = windows.lineBoards();
    QStringList titles;
    for (const auto& [what, open] : std::vector<std::pair<const char*, std::function<void()>>>{
             {"open dialog", [&] { files.openName(&parent, QStringLiteral("Открыть")); }},
             {"save dialog", [&] { files.saveName(&parent, QStringLiteral("Сохранить")); }},
             {"folder dialog", [&] { ui::askFolder(&parent, QStringLiteral("Папка")); }},
         }) {
        QString title;
        seen.push_back({what, textsOfModal(open, &title)});
        titles << title;
        EXPECT_GE(seen.back().texts.size(), 5) << what << " was looked at";
    }
    EXPECT_EQ(titles, (QStringList{"Открыть", "Сохранить", "Папка"}));

    for (const Seen& s : seen) {
        EXPECT_TRUE(englishIn(s.texts).isEmpty())
            << s.what << ": " << englishIn(s.texts).join(QStringLiteral("; ")).toStdString();
    }
}

TEST(RussianTextsCheck, FindsEnglishWordsButNotNamesOrTheKeptWords) {
    EXPECT_EQ(englishIn({"Порт /dev/pts/4: нет ответа", "Папка: /home/user/build",
                         "tcp+tls://host:1 и ttyUSB0", "&Да", "board-003.cs и журнал.txt",
                         "cs (*.cs)", "$0A/10", "Полный \"slave\"", "&Отменить\tCtrl+Z"}),
              QStringList());
    EXPECT_EQ(englishIn({"Look in:", "clock write"}),
              (QStringList{"Look in \"Look in:\"", "in in \"Look in:\"", "clock in \"clock write\"",
                           "write in \"clock write\""}));
}

}  // namespace
}  // namespace horalux::test
