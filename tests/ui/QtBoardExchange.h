#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "config/RegisterImage.h"
#include "link/BoardOperations.h"
#include "link/BoardState.h"
#include "link/Connection.h"
#include "link/ExchangeEvents.h"
#include "link/RequestParser.h"
#include "platform/PortOpener.h"
#include "platform/PosixSystemClock.h"
#include "platform/Tick.h"
#include "settings/ProgramSettings.h"
#include "support/BoardProcess.h"
#include "support/RecordingPrompts.h"
#include "ui/QtMainThread.h"

namespace horalux::ui {
class FieldPanel;
}

namespace horalux::test {

// A live exchange with the stand-in board whose main side is the Qt event loop, as in the
// program: the exchange thread's calls run from Qt events, and the board's refreshes go to the
// panel under test. Keeps the requests the program wrote, so a test can see what the board got.
class QtBoardExchange final : public link::ExchangeEvents,
                              public link::BusyIndicator,
                              public link::MessagePump {
  public:
    // Starts the board with these arguments, opens its line and starts the exchange.
    explicit QtBoardExchange(const std::vector<std::string>& boardArgs);
    ~QtBoardExchange() override;

    void showOn(ui::FieldPanel* panel) { panel_ = panel; }
    link::BoardState& board() { return state_; }
    link::BoardOperations& ops() { return connection_.operations(); }
    const std::vector<link::Request>& written() const { return written_; }
    bool ringEmpty() { return connection_.ring() == nullptr || connection_.ring()->empty(); }
    // Ends the exchange, as a lost line or "Подключение" does; the port stays open.
    void stopExchange() { connection_.stop(); }
    const RecordingPrompts& prompts() const { return prompts_; }

    // Runs the main side until `done` holds or `limitMs` passed; returns done().
    bool waitUntil(const std::function<bool()>& done, std::uint32_t limitMs = 15000);

    // ExchangeEvents
    void onRequestFailed(std::unique_ptr<link::BoardRequest> copy) override;
    void onBoardMode(std::uint8_t) override {}
    void onExchangeInfo(const link::TStrMsg& record) override;
    void onRingState(bool) override {}
    void refreshBoardView() override;
    void refreshUserFields() override;
    void onLinkDown() override { linkDown_ = true; }
    // BusyIndicator, MessagePump
    void ShowBusyState() override {}
    void dispatch(std::uint32_t maxWaitMs) override;

  private:
    BoardProcess boardProcess_;
    platform::PortOpener opener_;
    platform::MonotonicTick tick_;
    platform::PosixSystemClock clock_;
    RecordingPrompts prompts_;
    link::BoardState state_;
    ui::QtMainThread mainThread_;
    settings::ProgramSettings settings_;
    link::Connection connection_;
    ui::FieldPanel* panel_ = nullptr;
    std::vector<link::Request> written_;
    bool linkDown_ = false;
};

// Saves `image` as a register file in the temporary folder, for the board's --registers.
std::string saveTemporaryRegisterFile(const std::string& name, const config::RegisterImage& image);

}  // namespace horalux::test
