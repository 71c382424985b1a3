#include <cstdlib>
#include <ostream>

#include "BridgeLoop.h"
#include "BrokerSettings.h"
#include "CliCommands.h"
#include "CliSession.h"
#include "MosquittoClient.h"
#include "link/keeper/SessionKeptLine.h"
#include "link/keeper/TimeKeeper.h"
#include "link/wire/Commands.h"
#include "platform/MachineClock.h"

namespace horalux::cli {
namespace {

using bridge::Bridge;
using bridge::BrokerInbox;
using link::KeepTimeSettings;
using link::KeptLine;
using link::SessionKeptLine;
using link::TimeKeeper;

constexpr int kBadUsage = 2;
constexpr int kFailed = 1;

// The keeper's line with the bridge's step between its waits and its requests aimed at the
// address the keeper names (the bridge aims the line at each board in turn).
class BridgeLine final : public KeptLine {
  public:
    BridgeLine(SessionKeptLine& line, Bridge& bridge, const std::atomic<bool>& stop)
        : line_(line), bridge_(bridge), stop_(stop) {}

    std::optional<std::string> open() override {
        auto problem = line_.open();
        if (!problem) {
            bridge_.lineOpened();
        }
        return problem;
    }
    void close() override {
        line_.close();
        bridge_.lineClosed();
    }
    Outcome writeTime(std::uint8_t address) override {
        bridge_.aimAt(address);
        return line_.writeTime(address);
    }
    Reading readClock(std::uint8_t address) override {
        bridge_.aimAt(address);
        const Reading reading = line_.readClock(address);
        bridge_.clockRead(address, reading);
        return reading;
    }
    void serve(std::uint32_t ms) override {
        platform::Tick& tick = line_.session().tick();
        const std::uint32_t t0 = tick.nowMs();
        for (;;) {
            bridge_.step();
            const std::uint32_t spent = platform::elapsedMs(t0, tick.nowMs());
            // A line lost while open goes back to the keeper, which closes and reopens it.
            if (stop_ || spent >= ms || (line_.lost() && line_.session().connection().isOpen())) {
                return;
            }
            line_.serve(std::min(Bridge::kStepMs, ms - spent));
        }
    }
    bool lost() const override { return line_.lost(); }

  private:
    SessionKeptLine& line_;
    Bridge& bridge_;
    const std::atomic<bool>& stop_;
};

}  // namespace

int bridge(CommandContext& c) {
    const CliOptions& o = c.options;
    auto parsed = bridge::parseBrokerUrl(o.broker);
    if (const auto* problem = std::get_if<std::string>(&parsed)) {
        c.err << "horalux-cli: " << *problem << "\n";
        return kBadUsage;
    }
    bridge::BrokerSettings broker = std::get<bridge::BrokerSettings>(parsed);
    if (!o.brokerCa.empty() && !broker.tls) {
        c.err << "horalux-cli: --ca is the CA of an mqtts:// broker; " << o.broker
              << " is not one\n";
        return kBadUsage;
    }
    if (!o.brokerCa.empty()) {
        if (const std::string problem = bridge::caFileProblem(o.brokerCa); !problem.empty()) {
            c.err << "horalux-cli: the broker " << bridge::brokerText(broker) << ": " << problem
                  << "\n";
            return kFailed;
        }
    }
    broker.caFile = o.brokerCa;
    if (!o.mqttUser.empty()) {
        std::string path = o.passwordFile;
        if (path.empty()) {
            // systemd's LoadCredential= hands the password in here, off the command line.
            const char* credentials = std::getenv("CREDENTIALS_DIRECTORY");
            if (credentials == nullptr) {
                c.err << "horalux-cli: --user needs --password-file F (or the credential "
                         "mqtt-password of a systemd unit)\n";
                return kBadUsage;
            }
            path = std::string(credentials) + "/mqtt-password";
        }
        const bridge::PasswordRead read = bridge::readPasswordFile(path);
        if (!read.password) {
            c.err << "horalux-cli: " << read.problem << "\n";
            return kBadUsage;
        }
        broker.user = o.mqttUser;
        broker.password = *read.password;
    }
    const std::string node = o.nodeId.empty() ? bridge::defaultNodeId() : o.nodeId;
    const std::string stableName = bridge::stableLineName(o.port);
    const bridge::LineNames names = bridge::lineNames(o.topicPrefix, node, stableName);
    broker.clientId = names.clientId();
    broker.willTopic = names.statusTopic();

    platform::MonotonicTick tick;
    platform::MachineClock clock;
    SessionKeptLine line(linkSettingsOf(o), c.err, c.interrupted, {.tick = &tick, .clock = &clock});
    bridge::MosquittoClient client(broker);
    bridge::BrokerInbox inbox;
    Bridge::Settings settings;
    settings.port = o.port;
    settings.speed = o.speed;
    settings.stableName = stableName;
    settings.node = node;
    settings.addresses = o.addresses.empty() ? std::vector<std::uint8_t>{o.address} : o.addresses;
    settings.prefix = o.topicPrefix;
    settings.discoveryPrefix = o.discoveryPrefix;
    settings.version = HORALUX_VERSION;
    settings.broker = bridge::brokerText(broker);
    Bridge bridgeSide(settings, line, client, inbox, c.err);
    if (const std::string problem = client.start(inbox.handlers()); !problem.empty()) {
        c.err << "horalux-cli: the broker " << settings.broker << ": " << problem << "\n";
        return kFailed;
    }

    KeepTimeSettings keep;
    keep.writes = o.bridgeKeepPeriodS.has_value();
    keep.periodS = o.bridgeKeepPeriodS.value_or(keep.periodS);
    keep.trustPcClock = o.trustPcClock;
    // Several boards get the time at once, as keep-time gives it to all boards.
    keep.address = settings.addresses.size() == 1 ? settings.addresses.front() : link::kAllBoards;
    keep.port = o.port;
    BridgeLine kept(line, bridgeSide, c.interrupted);
    TimeKeeper keeper(keep,
                      {kept, tick, clock, platform::systemClockSynchronised, c.err, c.interrupted});
    keeper.run();
    bridgeSide.finish();
    return 0;
}

}  // namespace horalux::cli
