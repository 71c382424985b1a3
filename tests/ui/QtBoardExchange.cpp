#include "QtBoardExchange.h"

#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>

#include "config/RegisterFile.h"
#include "ui/FieldPanel.h"

namespace horalux::test {

namespace {
constexpr std::uint32_t kSpeed = 9600;
constexpr std::int32_t kDelayTimeMs = 20;
}  // namespace

QtBoardExchange::QtBoardExchange(const std::vector<std::string>& boardArgs)
    : boardProcess_(boardArgs),
      session_({.events = this,
                .prompts = &prompts_,
                .mainThread = &mainThread_.calls(),
                .pump = this,
                .settings = {.DelayTime = kDelayTimeMs}}) {
    if (!session_.connection().connect(boardProcess_.devicePath(), kSpeed)) {
        throw std::runtime_error("cannot open the board's line " + boardProcess_.devicePath());
    }
}

QtBoardExchange::~QtBoardExchange() {
    session_.connection().close();
}

bool QtBoardExchange::waitUntil(const std::function<bool()>& done, std::uint32_t limitMs) {
    const std::uint32_t start = session_.tick().nowMs();
    while (!done() && !linkDown_ && platform::elapsedMs(start, session_.tick().nowMs()) < limitMs) {
        dispatch(20);
    }
    return done();
}

void QtBoardExchange::dispatch(std::uint32_t maxWaitMs) {
    mainThread_.calls().waitPending(std::chrono::milliseconds(maxWaitMs));
    QCoreApplication::processEvents();
    session_.connection().settle();
}

void QtBoardExchange::onRequestFailed(std::unique_ptr<link::BoardRequest> copy) {
    session_.connection().dropFailedRequest(std::move(copy));
}

void QtBoardExchange::onExchangeInfo(const link::TStrMsg& record) {
    // Written frames start with the preamble; polled bytes and read blocks are replies.
    if (!record.Text.starts_with("55 55")) {
        return;
    }
    link::RequestParser parser;
    for (std::size_t i = 0; i + 1 < record.Text.size(); i += 3) {
        const auto byte =
            static_cast<std::uint8_t>(std::stoi(record.Text.substr(i, 2), nullptr, 16));
        if (auto request = parser.push(byte)) {
            written_.push_back(std::move(*request));
        }
    }
}

void QtBoardExchange::refreshBoardView() {
    if (panel_ != nullptr) {
        panel_->refreshBoardView();
    }
}

void QtBoardExchange::refreshUserFields() {
    if (panel_ != nullptr) {
        panel_->refreshUserFields();
    }
}

std::string saveTemporaryRegisterFile(const std::string& name, const config::RegisterImage& image) {
    const auto path =
        std::filesystem::temp_directory_path() / (name + "-" + std::to_string(::getpid()) + ".cs");
    config::saveRegisterFile(path, image);
    return path.string();
}

}  // namespace horalux::test
