#pragma once

#include <QString>

namespace horalux::ui {

// Which system the help speaks of: the port names, the rights a port and the clock need.
enum class HelpPlatform { Linux, Windows };

#if defined(_WIN32)
inline constexpr HelpPlatform kThisPlatform = HelpPlatform::Windows;
#else
inline constexpr HelpPlatform kThisPlatform = HelpPlatform::Linux;
#endif

// "?" → "Помощь": connecting, ports (local and network), the board search, the clock and the
// exchange log's menu, for the given system, as rich text (headings, commands kept on one
// line). Both texts are built everywhere, so both are tested on either.
QString helpText(HelpPlatform platform);

}  // namespace horalux::ui
