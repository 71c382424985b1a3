#include "BridgeLoop.h"

#include <algorithm>
#include <charconv>
#include <ostream>

#include "BridgeCommands.h"
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
constexpr std::uint32_t kRegistersWaitMs = 30000;
constexpr std::uint32_t kReadWaitMs = 10000;
constexpr std::uint32_t kLongestPauseS = 60;

}  // namespace

bridge::MqttClient::Handlers BrokerInbox::handlers() {
    bridge::MqttClient::Handlers h;
    h.connected = [this] {
        const std::lock_guard lock(mutex_);
        news_.push_back({Event::Connected, {}, {}});
    };
    h.disconnected = [this](const std::string& why) {
        const std::lock_guard lock(mutex_);
        news_.push_back({Event::Problem, why, {}});
    };
    h.message = [this](const std::string& topic, const std::string& payload, bool retained) {
        const std::lock_guard lock(mutex_);
        // A flood of commands is not kept without end while the boards are busy.
        if (news_.size() >= kMostHeldNews) {
            ++dropped_;
            return;
        }
        news_.push_back({Event::Message, topic, payload, retained});
    };
    return h;
}

std::vector<BrokerInbox::Event> BrokerInbox::take(std::size_t& dropped) {
    const std::lock_guard lock(mutex_);
    dropped = std::exchange(dropped_, 0);
    return std::exchange(news_, {});
}

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
      statusTopic_(bridge::bridgeStatusTopic(settings.prefix, settings.port)) {
    for (const std::uint8_t address : settings_.addresses) {
        Board board;
        board.address = address;
        board.topics = bridge::boardTopics(settings_.prefix, settings_.port, address);
        board.device = {settings_.prefix, settings_.port, address, settings_.version};
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

bool Bridge::look(Board& board) {
    link::Session& session = line_.session();
    const auto outcome = driver_.runOne(board.address, [&](std::uint8_t address) {
        link::BoardOperations& ops = session.operations();
        const link::boardset::BoardOutcome failed{
            address, link::boardset::BoardOutcome::Failed, {}};
        failures_ = 0;
        if (!board.registersRead || ++board.looksSinceRegisters >= kLooksPerRegisterRead) {
            if (!ops.ReadAllRegisters() || !waitForRing(kRegistersWaitMs) || failures_ != 0) {
                return failed;
            }
            board.registersRead = true;
            board.looksSinceRegisters = 0;
        }
        session.board().lock()->BoardClock.reset();
        if (!ops.readClockAndFields() || !waitForRing(kReadWaitMs) || failures_ != 0) {
            return failed;
        }
        return link::boardset::BoardOutcome{address, link::boardset::BoardOutcome::Done, {}};
    });
    if (outcome.state != link::boardset::BoardOutcome::Done) {
        return false;
    }
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
             bridge::stateMessages(bridge::boardValuesOf(board.data, board.extras), board.topics)) {
            publisher_.set(topic, payload);
        }
        if (!settings_.discoveryPrefix.empty()) {
            const bridge::BoardShape shape = bridge::boardShapeOf(board.data);
            if (shape != board.shapeSent) {
                publisher_.set(
                    bridge::discoveryMessages(board.device, shape, settings_.discoveryPrefix));
                board.shapeSent = shape;
            }
        }
    }
}

void Bridge::handleBroker() {
    std::size_t dropped = 0;
    std::vector<BrokerInbox::Event> news = inbox_.take(dropped);
    if (dropped > 0) {
        say(std::to_string(dropped) +
            " messages from the broker were dropped: they came faster than the boards take them");
    }
    for (BrokerInbox::Event& event : news) {
        if (event.kind == BrokerInbox::Event::Problem) {
            // Said again only when the cause changes, as keep-time tells a port it cannot open.
            if (event.text != toldProblem_) {
                say("the broker " + settings_.broker + ": " + event.text +
                    "; trying again with pauses growing to " + std::to_string(kLongestPauseS) +
                    " s");
                toldProblem_ = event.text;
            }
        } else if (event.kind == BrokerInbox::Event::Connected) {
            say((everConnected_ ? "reconnected to the broker " : "connected to the broker ") +
                settings_.broker);
            everConnected_ = true;
            toldProblem_.clear();
            client_.subscribe(settings_.prefix + "/" + bridge::topicSafeLineName(settings_.port) +
                              "/+/+/set");
            if (!settings_.discoveryPrefix.empty()) {
                // Every board has this entity: its retained configs tell the boards once bridged.
                client_.subscribe(settings_.discoveryPrefix + "/sensor/+/main_text/config");
            }
            // The broker may have lost what it kept: everything goes out again.
            publisher_.reconnected();
        } else if (event.text.starts_with(settings_.discoveryPrefix + "/") &&
                   !settings_.discoveryPrefix.empty()) {
            removeStranger(event.text, event.payload);
        } else {
            for (Board& board : boards_) {
                if (!event.text.starts_with(board.topics.base + "/")) {
                    continue;
                }
                if (event.retained) {
                    // It would run again at every reconnection.
                    refuse(board, event.text,
                           "a retained command is not taken; publish it without retain");
                } else {
                    handleCommand(board, event.text, event.payload);
                }
            }
        }
    }
}

void Bridge::removeStranger(const std::string& topic, const std::string& payload) {
    // ".../sensor/horalux_LINE_ADDR/main_text/config"; an empty one is a removal already.
    const std::string head = bridge::deviceId(settings_.port, 0);
    const std::string ours = head.substr(0, head.size() - 1);
    const std::size_t at = topic.find("/" + ours);
    if (payload.empty() || at == std::string::npos) {
        return;
    }
    const std::size_t from = at + 1 + ours.size();
    const std::size_t end = topic.find('/', from);
    unsigned address = 0;
    const auto [stop, ec] = std::from_chars(topic.data() + from, topic.data() + end, address);
    if (ec != std::errc{} || stop != topic.data() + end || address > 254 ||
        std::any_of(boards_.begin(), boards_.end(),
                    [&](const Board& b) { return b.address == address; })) {
        return;
    }
    const bridge::BoardDevice gone{settings_.prefix, settings_.port,
                                   static_cast<std::uint8_t>(address), settings_.version};
    for (const bridge::Message& message :
         bridge::removalMessages(gone, settings_.discoveryPrefix)) {
        client_.publish(message.topic, message.payload, true);
    }
    say(link::boardAddressText(static_cast<std::uint8_t>(address)) +
        " is bridged no more: its entities are removed");
}

void Bridge::refuse(Board& board, const std::string& rawTopic, const std::string& why) {
    // A topic may hold control characters; shown as a port name is.
    const std::string topic = platform::shownPortName(rawTopic);
    say(link::boardAddressText(board.address) + ": " + topic + " refused: " + why);
    client_.publish(board.topics.error(), topic + ": " + why, false);
}

void Bridge::handleCommand(Board& board, const std::string& topic, const std::string& payload) {
    const bridge::Command command = bridge::commandOf(board.topics, topic, payload,
                                                      bridge::boardShapeOf(board.data).fieldDigits);
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
    link::BoardOperations& ops = line_.session().operations();
    std::string refusal;
    driver_.runOne(board.address, [&](std::uint8_t address) {
        const link::boardset::BoardOutcome done{address, link::boardset::BoardOutcome::Done, {}};
        failures_ = 0;
        bool queued = true;
        if (const auto* write = std::get_if<bridge::WriteUserField>(&command)) {
            // The window writes every field in use with the texts it read: so does the bridge,
            // with this board's own field layout.
            if (!ops.readUserFields() || !waitForRing(kReadWaitMs) || failures_ != 0) {
                refusal = "the board did not answer the user-field read; nothing was sent";
                return link::boardset::BoardOutcome{address, link::boardset::BoardOutcome::Failed,
                                                    refusal};
            }
            ops.writeUserField(write->index, write->text);
        } else if (std::holds_alternative<bridge::SyncTime>(command)) {
            ops.Sinkhr_date();
        } else if (const auto* mode = std::get_if<bridge::SetMode>(&command)) {
            ops.SetBoardMode(mode->master);
        } else {
            queued = false;
        }
        if (!queued || !waitForRing(kReadWaitMs) || failures_ != 0) {
            refusal = "the board did not take it";
            return link::boardset::BoardOutcome{address, link::boardset::BoardOutcome::Failed,
                                                refusal};
        }
        return done;
    });
    if (!refusal.empty()) {
        refuse(board, topic, refusal);
        return;
    }
    if (const auto* mode = std::get_if<bridge::SetMode>(&command)) {
        liveMaster_.reset();
        board.data.BoardCopy.modeFlags = static_cast<std::uint8_t>(
            mode->master ? board.data.BoardCopy.modeFlags | link::op::kMasterBit
                         : board.data.BoardCopy.modeFlags & ~link::op::kMasterBit);
        board.registersRead = false;
    }
    changed_ = true;
    say(link::boardAddressText(board.address) + ": " + topic + " done");
    // What the board holds now is read back and published at once.
    board.nextLookAt = line_.session().tick().nowMs();
}

void Bridge::step() {
    handleBroker();
    if (lineUp_) {
        for (Board& board : boards_) {
            const std::uint32_t now = line_.session().tick().nowMs();
            if (board.nextLookAt && !platform::tickReached(now, *board.nextLookAt)) {
                continue;
            }
            board.answered = look(board);
            changed_ = true;
            board.nextLookAt = line_.session().tick().nowMs() + kLookIntervalMs;
            if (!lineUp_ || line_.lost()) {
                break;
            }
        }
    }
    refreshValues();
    for (const bridge::Message& message : publisher_.due()) {
        client_.publish(message.topic, message.payload, true);
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
