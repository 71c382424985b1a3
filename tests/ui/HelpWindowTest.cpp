// "?" → "Помощь": the help speaks of the system the program runs on and of what it offers.
#include <gtest/gtest.h>

#include "WindowHarness.h"
#include "ui/HelpText.h"

namespace horalux::test {
namespace {

using ui::HelpPlatform;

TEST(Help, SpeaksOfTheSystemsOwnPortsAndRightsAndOfEveryWayToReachABoard) {
    const struct {
        HelpPlatform platform;
        std::vector<const char*> said;
        std::vector<const char*> unsaid;
    } cases[] = {
        {HelpPlatform::Linux,
         {"ttyUSB0", "dialout", "usermod", "root", "rfc2217+tls://", "TlsCaFile"},
         {"COM", "администратор", "недоступны"}},
        {HelpPlatform::Windows,
         {"COM3", "администратора", "tcp+tls://", "недоступны"},
         {"tty", "dialout", "usermod", "root", "TlsCaFile"}},
    };
    for (const auto& c : cases) {
        const std::string text = ui::helpText(c.platform).toStdString();
        SCOPED_TRACE(text);
        for (const char* word : c.said) {
            EXPECT_NE(text.find(word), std::string::npos) << word;
        }
        for (const char* word : c.unsaid) {
            EXPECT_EQ(text.find(word), std::string::npos) << word;
        }
        // What either offers; a copy installed from the package has no scripts folder.
        for (const char* word : {"tcp://", "rfc2217://", "«Найти табло...»", "«Время» (Ctrl+1)",
                                 "«Расшифровка» (Ctrl+3)", "«Сохранить журнал...» (Ctrl+S)"}) {
            EXPECT_NE(text.find(word), std::string::npos) << word;
        }
        EXPECT_EQ(text.find("scripts/"), std::string::npos);
    }
}

TEST(Help, TheHelpItemShowsTheTextOfThisSystem) {
    WindowHarness h({{"--speed", "115200"}, "", false});
    h.action("N25")->trigger();
    EXPECT_EQ(h.answerer.seen,
              std::vector<std::string>{"box: " + ui::helpText(ui::kThisPlatform).toStdString()});
}

}  // namespace
}  // namespace horalux::test
