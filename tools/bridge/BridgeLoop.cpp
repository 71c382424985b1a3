#include "BridgeLoop.h"

#include <algorithm>
#include <charconv>
#include <ostream>

#include "BridgeCommands.h"
#include "Leftovers.h"
#include "config/RegisterMap.h"
#include "link/exchange/Messages.h"
#include "link/scan/BoardScan.h"
#include "link/wire/Commands.h"
#include "platform/PortNameText.h"
#include "timesync/ClockDifference.h"

namespace horalux::bridge {
namespace {

// A board is looked at (its clock and user fields read) this often, so that one that stops
// answering goes offline within a minute, as keep-time's checks do.
constexpr std::uint32_t kLookIntervalMs = 60000;
// Every tenth look reads the registers again too: a sensor switched on or off at the board, or
// a user field added, shows within ten minutes.
constexpr unsigned kLooksPerRegisterRead = 10;
// Commands held for a board not read yet; more are refused.
constexpr std::size_t kMostHeldCommands = 100;
constexpr std::uint32_t kReadWaitMs = 10000;
constexpr std::uint32_t kLongestPauseS = 60;

}  // namespace

Bridge::Bridge(const Settings& settings, link::SessionKeptLine& line, bridge::MqttClient& client,
               BrokerInbox& inbox, std::ostream& err)
    : settings_(settings),
      line_(line),
      client_(client),
      inbox_(inbox),
      err_(err),
      publisher_(line.session().tick()),
      driver_(line.session().operations(), line.session().connection(),
              [this] { return !lineUp_ || line_.lost(); }),
      names_(bridge::lineNames(settings.prefix, settings.node, settings.stableName)),
      statusTopic_(names_.statusTopic()) {
    for (const std::uint8_t address : settings_.addresses) {
        Board board;
        board.address = address;
        board.topics = names_.board(address);
        board.device = {names_, settings_.port, address, settings_.version};
        boards_.push_back(std::move(board));
    }
    publisher_.set(statusTopic_, "online");
    line_.watch(this);
}

Bridge::~Bridge() {
    line_.watch(nullptr);
}

void Bridge::say(const std::string& text) {
    err_ << "horalux-cli: " << text << std::endl;
}

void Bridge::aimAt(std::uint8_t address) {
    line_.session().operations().setCurrentAddress(address);
}

void Bridge::clockRead(std::uint8_t address, const link::KeptLine::Reading& reading) {
    if (!reading.clock) {
        return;
    }
    changed_ = true;
    for (Board& board : boards_) {
        if (board.address == address) {
            board.extras.clockDifferenceS =
                timesync::boardAheadSeconds(*reading.clock, line_.session().clock().now());
        }
    }
}

void Bridge::lineOpened() {
    lineUp_ = true;
    changed_ = true;
    liveMaster_.reset();
    for (Board& board : boards_) {
        // The board may have been changed or replaced meanwhile: everything is read anew.
        board.registersRead = false;
        board.nextLookAt.reset();
    }
}

void Bridge::lineClosed() {
    lineUp_ = false;
    changed_ = true;
    for (Board& board : boards_) {
        board.answered = false;
    }
}

void Bridge::onBoardMode(std::uint8_t code) {
    // Status frames carry no board of their own: with one board they are that board's.
    if (boards_.size() == 1 && (code == link::kBoardModeMaster || code == link::kBoardModeSlave)) {
        liveMaster_ = code == link::kBoardModeMaster;
    }
    changed_ = true;
}

bool Bridge::waitForRing(std::uint32_t limitMs) {
    const bool drained = line_.session().operations().WaitForRing(limitMs);
    return drained && !line_.lost() && line_.session().connection().running();
}

bool Bridge::request(Board& board, std::span<const bridge::LookRequest> batch) {
    link::Session& session = line_.session();
    const auto outcome = driver_.runOne(board.address, [&](std::uint8_t address) {
        failures_ = 0;
        bool queued = true;
        for (const bridge::LookRequest& what : batch) {
            if (what.kind == bridge::LookRequest::Clock) {
                session.board().lock()->BoardClock.reset();
            }
            queued = queued && bridge::queueRequest(session.operations(), what);
        }
        const bool answered = queued && waitForRing(kReadWaitMs) && failures_ == 0;
        return link::boardset::BoardOutcome{
            address,
            answered ? link::boardset::BoardOutcome::Done : link::boardset::BoardOutcome::Failed,
            {}};
    });
    return outcome.state == link::boardset::BoardOutcome::Done;
}

bool Bridge::look(Board& board) {
    const bool withRegisters =
        !board.registersRead || ++board.looksSinceRegisters >= kLooksPerRegisterRead;
    for (const auto& batch : bridge::lookBatches(withRegisters, settings_.speed)) {
        if (!request(board, batch)) {
            return false;
        }
        if (batch.back().kind == bridge::LookRequest::Register &&
            batch.back().reg == config::kReadList.back()) {
            board.registersRead = true;
            board.looksSinceRegisters = 0;
        }
        // A command waits for one batch at most, and what is read shows as it comes.
        service();
        if (!lineUp_ || line_.lost()) {
            return false;
        }
    }
    link::Session& session = line_.session();
    board.data = session.board().snapshot(board.address);
    if (const auto own = link::boardOwnClock(board.data)) {
        board.extras.clockDifferenceS = timesync::boardAheadSeconds(*own, session.clock().now());
    }
    return true;
}

bool Bridge::online(const Board& board) const {
    if (!lineUp_) {
        return false;
    }
    // A master is heard every second; a slave only when asked.
    return board.answered ||
           (boards_.size() == 1 && line_.session().board().StatusFrameSeen.load());
}

void Bridge::refreshValues() {
    if (!std::exchange(changed_, false)) {
        return;
    }
    for (Board& board : boards_) {
        if (lineUp_ && board.registersRead) {
            // Each board's own entry: a status frame changes its sender's values only.
            board.data = line_.session().board().snapshot(board.address);
        }
        board.extras.onlyBoard = boards_.size() == 1;
        if (boards_.size() == 1 && liveMaster_) {
            board.extras.master = liveMaster_;
        } else if (board.registersRead) {
            board.extras.master = (board.data.BoardCopy.modeFlags & link::op::kMasterBit) != 0;
        }
        publisher_.set(board.topics.availability(), online(board) ? "online" : "offline");
        if (!board.registersRead) {
            continue;
        }
        for (const auto& [topic, payload] :
             board.states.messages(bridge::boardValuesOf(board.data, board.extras), board.topics)) {
            publisher_.set(topic, payload);
        }
        if (!settings_.discoveryPrefix.empty()) {
            bridge::BoardShape shape = bridge::boardShapeOf(board.data);
            if (boards_.size() > 1 && !board.extras.master.value_or(false)) {
                // A slave among others measures nothing that reaches us: only a master's
                // status frames carry readings.
                shape = bridge::withoutReadings(shape);
            }
            if (shape != board.shapeSent) {
                const bridge::Message config =
                    bridge::deviceConfig(board.device, shape, settings_.discoveryPrefix);
                publisher_.set(config.topic, config.payload);
                board.shapeSent = shape;
            }
        }
    }
}

void Bridge::handleBroker() {
    std::size_t dropped = 0;
    std::vector<bridge::BrokerInbox::Event> news = inbox_.take(dropped);
    if (dropped > 0) {
        say(std::to_string(dropped) +
            " messages from the broker were dropped: they came faster than the boards take them");
    }
    for (bridge::BrokerInbox::Event& event : news) {
        if (line_.stopping()) {
            // Commands still queued at a stop are dropped unanswered: none was carried out.
            return;
        }
        if (event.kind == bridge::BrokerInbox::Event::Problem) {
            // Said again only when the cause changes, as keep-time tells a port it cannot open.
            brokerUp_ = false;
            if (event.text != toldProblem_) {
                say("the broker " + settings_.broker + ": " + event.text +
                    "; trying again with pauses growing to " + std::to_string(kLongestPauseS) +
                    " s");
                toldProblem_ = event.text;
            }
        } else if (event.kind == bridge::BrokerInbox::Event::Connected) {
            say((everConnected_ ? "reconnected to the broker " : "connected to the broker ") +
                settings_.broker);
            everConnected_ = true;
            brokerUp_ = true;
            toldProblem_.clear();
            // The lines' statuses first: the broker sends what it keeps in the order subscribed,
            // and a config is judged by its line's status.
            client_.subscribe(settings_.prefix + "/" + names_.node + "/+/status", false);
            // A command published with retain is known as such whenever it comes (MQTT 5).
            client_.subscribe(names_.commandPattern(), true);
            if (!settings_.discoveryPrefix.empty()) {
                // Judged are the configs kept from before only, not those of a bridge starting
                // now (its config may come before its status).
                client_.subscribe(bridge::deviceConfigPattern(settings_.discoveryPrefix), false);
                client_.subscribe(bridge::earlierConfigPattern(settings_.discoveryPrefix), false);
            }
            // Nothing went out while the broker was away; after a reconnection it may have lost
            // what it kept: either way every topic's value goes out now, once.
            publisher_.reconnected();
        } else if (event.text.starts_with(settings_.discoveryPrefix + "/") &&
                   !settings_.discoveryPrefix.empty()) {
            if (event.retained) {
                removeLeftover(event.text, event.payload);
            }
        } else if (event.text.ends_with("/status")) {
            lineStatus_[event.text] = event.payload;
        } else {
            for (Board& board : boards_) {
                if (!event.text.starts_with(board.topics.base + "/")) {
                    continue;
                }
                if (event.retained) {
                    // It would run again at every reconnection and every restart.
                    refuse(board, event.text,
                           "a retained command is not taken; publish it without retain");
                } else if (!board.registersRead &&
                           event.text.find("/field_") != std::string::npos) {
                    // Its fields are not known yet: the command waits for the first look.
                    if (board.held.size() < kMostHeldCommands) {
                        board.held.emplace_back(event.text, event.payload);
                    } else {
                        refuse(board, event.text,
                               "the board is still being read and has too many commands waiting");
                    }
                } else {
                    handleCommand(board, event.text, event.payload);
                }
            }
        }
    }
}

void Bridge::removeLeftover(const std::string& topic, const std::string& payload) {
    const bridge::LineSeen line{names_, settings_.port, settings_.discoveryPrefix,
                                settings_.addresses};
    const bridge::Leftover leftover = bridge::leftoverOf(line, topic, payload);
    const std::string& prefix = settings_.discoveryPrefix;
    switch (leftover.kind) {
        case bridge::Leftover::None:
            return;
        case bridge::Leftover::EarlierConfigs:
            // The board is one device config now; its entity configs of before go.
            for (const bridge::Message& m : bridge::earlierConfigRemovals(leftover.id, prefix)) {
                client_.publish(m.topic, m.payload, true);
            }
            say("the entity configs of " + leftover.id + " (before device discovery) are removed");
            return;
        case bridge::Leftover::Board:
            say(link::boardAddressText(leftover.address) +
                " is bridged no more: its device is removed");
            break;
        case bridge::Leftover::OtherLine: {
            const auto status = lineStatus_.find(leftover.statusTopic);
            if (status != lineStatus_.end() && status->second == "online") {
                return;  // its bridge runs
            }
            say(leftover.id + " of a line bridged no more (" +
                platform::shownPortName(leftover.statusTopic) + " not online) is removed");
            break;
        }
    }
    const bridge::Message removal = bridge::deviceRemoval(leftover.id, prefix);
    client_.publish(removal.topic, removal.payload, true);
}

void Bridge::refuse(Board& board, const std::string& rawTopic, const std::string& why) {
    // A topic may hold control characters; shown as a port name is.
    const std::string topic = platform::shownPortName(rawTopic);
    say(link::boardAddressText(board.address) + ": " + topic + " refused: " + why);
    client_.publish(board.topics.error(), topic + ": " + why, false);
}

void Bridge::handleCommand(Board& board, const std::string& topic, const std::string& payload) {
    // The field layout as read now: the first look may not have ended yet.
    const bridge::Command command = bridge::commandOf(
        board.topics, topic, payload,
        bridge::boardShapeOf(line_.session().board().snapshot(board.address)).fieldDigits);
    if (const auto* refusal = std::get_if<bridge::Refusal>(&command)) {
        refuse(board, topic, refusal->text);
        return;
    }
    if (!lineUp_) {
        refuse(board, topic,
               "the line to " + platform::shownPortName(settings_.port) +
                   " is down; nothing was sent");
        return;
    }
    link::Session& session = line_.session();
    link::BoardOperations& ops = session.operations();
    std::string refusal;
    driver_.runOne(board.address, [&](std::uint8_t address) {
        failures_ = 0;
        bool queued = true;
        if (const auto* write = std::get_if<bridge::WriteUserField>(&command)) {
            // Every field in use is written, the others with the texts last read.
            ops.writeUserField(write->index, write->text);
        } else if (std::holds_alternative<bridge::SyncTime>(command)) {
            ops.Sinkhr_date();
        } else if (const auto* mode = std::get_if<bridge::SetMode>(&command)) {
            ops.SetBoardMode(mode->master);
        } else {
            queued = false;
        }
        const bool taken = queued && waitForRing(kReadWaitMs) && failures_ == 0;
        if (!taken) {
            refusal = "the board did not take it";
        }
        return link::boardset::BoardOutcome{
            address,
            taken ? link::boardset::BoardOutcome::Done : link::boardset::BoardOutcome::Failed,
            refusal};
    });
    if (line_.stopping()) {
        // Cut short by the stop: it may have reached the board, so it is not called refused.
        say(link::boardAddressText(board.address) + ": " + topic +
            " was cut short by the stop; it may have reached the board");
        return;
    }
    if (!refusal.empty()) {
        refuse(board, topic, refusal);
        return;
    }
    // What the board holds now is read back and published at once: one request.
    bridge::LookRequest readBack{bridge::LookRequest::FieldValues, 0};
    if (std::holds_alternative<bridge::SyncTime>(command)) {
        readBack = {bridge::LookRequest::Clock, 0};
    } else if (std::holds_alternative<bridge::SetMode>(command)) {
        // Its status frames say it too, but a slave sends none.
        liveMaster_.reset();
        readBack = {bridge::LookRequest::Register, config::kModeFlagsRegister};
    }
    if (request(board, std::span(&readBack, 1))) {
        board.data = session.board().snapshot(board.address);
        if (readBack.kind == bridge::LookRequest::Register && !board.registersRead) {
            // The other values wait for the first look to end; the mode is known now.
            const bool master = (board.data.BoardCopy.modeFlags & link::op::kMasterBit) != 0;
            board.extras.master = master;
            publisher_.set(board.topics.state("mode"), master ? "master" : "slave");
        }
        if (const auto own = link::boardOwnClock(board.data);
            own && readBack.kind == bridge::LookRequest::Clock) {
            board.extras.clockDifferenceS =
                timesync::boardAheadSeconds(*own, session.clock().now());
        }
    }
    changed_ = true;
    say(link::boardAddressText(board.address) + ": " + topic + " done");
}

void Bridge::runHeld(Board& board) {
    for (auto& [topic, payload] : std::exchange(board.held, {})) {
        if (board.registersRead) {
            handleCommand(board, topic, payload);
        } else {
            refuse(board, topic, "the board did not answer; nothing was sent");
        }
    }
}

void Bridge::publishDue() {
    // Held while the broker is away: it gets every value once it is there.
    if (!brokerUp_) {
        return;
    }
    for (const bridge::Message& message : publisher_.due()) {
        client_.publish(message.topic, message.payload, true);
    }
}

void Bridge::service() {
    client_.poll();
    handleBroker();
    for (Board& board : boards_) {
        if (board.registersRead && !board.held.empty()) {
            runHeld(board);
        }
    }
    refreshValues();
    publishDue();
}

void Bridge::step() {
    service();
    if (lineUp_) {
        for (Board& board : boards_) {
            const std::uint32_t now = line_.session().tick().nowMs();
            if (board.nextLookAt && !platform::tickReached(now, *board.nextLookAt)) {
                continue;
            }
            board.answered = look(board);
            if (!board.registersRead) {
                runHeld(board);
            }
            changed_ = true;
            board.nextLookAt = line_.session().tick().nowMs() + kLookIntervalMs;
            service();
            if (!lineUp_ || line_.lost()) {
                break;
            }
        }
    }
}
void Bridge::finish() {
    for (const Board& board : boards_) {
        client_.publish(board.topics.availability(), "offline", true);
    }
    client_.publish(statusTopic_, "offline", true);
    client_.stop();
}
}  // namespace horalux::bridge
