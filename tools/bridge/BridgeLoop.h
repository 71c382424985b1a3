#pragma once

#include <atomic>
#include <cstdint>
#include <iosfwd>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "BoardValues.h"
#include "BrokerInbox.h"
#include "Discovery.h"
#include "LookRequests.h"
#include "MqttClient.h"
#include "RetainedPublisher.h"
#include "link/boardset/BoardDriver.h"
#include "link/keeper/KeptLine.h"
#include "link/keeper/SessionKeptLine.h"

namespace horalux::bridge {

// The bridge's main side: the boards of one line between their session and the broker. Its
// step runs between the line's waits, on the main thread.
class Bridge final : public link::LineWatcher {
  public:
    // How often the step runs while the line is served: what the broker sent and what the
    // board sent reach the other side within it.
    static constexpr std::uint32_t kStepMs = 20;

    struct Settings {
        std::string port;
        std::uint32_t speed = 9600;
        std::string stableName;  // the line's name across restarts (see stableLineName)
        std::string node;
        std::vector<std::uint8_t> addresses;
        std::string prefix;
        std::string discoveryPrefix;  // empty: no discovery
        std::string version;
        std::string broker;  // as the messages name it
    };

    Bridge(const Settings& settings, link::SessionKeptLine& line, bridge::MqttClient& client,
           BrokerInbox& inbox, std::ostream& err);
    ~Bridge() override;
    Bridge(const Bridge&) = delete;
    Bridge& operator=(const Bridge&) = delete;

    // Handles what the broker sent, looks at a board when one is due, publishes what changed.
    void step();
    // Points the line's requests at `address` (the keeper's).
    void aimAt(std::uint8_t address);
    void clockRead(std::uint8_t address, const link::KeptLine::Reading& reading);
    void lineOpened();
    void lineClosed();
    // Before the end: every board and the bridge itself offline, waited for briefly.
    void finish();

    void onBoardMode(std::uint8_t code) override;
    void onRequestFailed() override { ++failures_; }
    void onBoardChanged() override { changed_ = true; }

  private:
    struct Board {
        std::uint8_t address = 0;
        bridge::BoardTopics topics;
        bridge::BoardDevice device;
        link::BoardData data;
        bridge::BoardExtras extras;
        bool registersRead = false;
        unsigned looksSinceRegisters = 0;
        bool answered = false;  // its last look was answered
        std::optional<std::uint32_t> nextLookAt;
        std::optional<bridge::BoardShape> shapeSent;
        bridge::BoardStates states;
        // Field commands that came before the board's registers were first read: its fields are
        // not known yet. They run once they are, or are refused when the board does not answer.
        std::vector<std::pair<std::string, std::string>> held;
    };

    // Between any two requests: what the broker sent (commands run at once), the values
    // refreshed, what is due published.
    void service();
    void handleBroker();
    void runHeld(Board& board);
    void handleCommand(Board& board, const std::string& topic, const std::string& payload);
    // A batch of a look's requests or a command's read-back to the board, waited for.
    bool request(Board& board, std::span<const bridge::LookRequest> batch);
    void publishDue();
    // A retained discovery config: what is left of boards and lines no longer bridged, and of
    // earlier bridges' per-entity configs, goes.
    void removeLeftover(const std::string& topic, const std::string& payload);
    // Reads the board's registers (when not yet read), clock and user fields; whether it
    // answered them all.
    bool look(Board& board);
    bool waitForRing(std::uint32_t limitMs);
    void refreshValues();
    bool online(const Board& board) const;
    void refuse(Board& board, const std::string& topic, const std::string& why);
    void say(const std::string& text);

    Settings settings_;
    link::SessionKeptLine& line_;
    bridge::MqttClient& client_;
    bridge::BrokerInbox& inbox_;
    std::ostream& err_;
    bridge::RetainedPublisher publisher_;
    link::boardset::BoardDriver driver_;
    std::vector<Board> boards_;
    bridge::LineNames names_;
    std::string statusTopic_;
    // The retained status of each line of this node, as the broker has it.
    std::map<std::string, std::string> lineStatus_;
    bool lineUp_ = false;
    unsigned failures_ = 0;
    // Something the published values come from changed since they were last made.
    bool changed_ = true;
    std::optional<bool> liveMaster_;  // one board: what its status frames say
    bool brokerUp_ = false;
    std::string toldProblem_;
    bool everConnected_ = false;
};

}  // namespace horalux::bridge
