// The companion's user-field commands: read-fields and write-field.
#include <ostream>
#include <string>

#include "CliCommands.h"
#include "CliSession.h"
#include "config/RegisterMap.h"
#include "link/session/UserFieldPayload.h"
#include "link/wire/Commands.h"

namespace horalux::cli {
namespace {

constexpr int kFailed = 1;
constexpr int kBadUsage = 2;

void printFields(CliSession& session, std::ostream& out) {
    const auto data = session.board().snapshot();
    for (int i = 0; i < data.UserFieldCount; ++i) {
        out << i << ": " << data.UserFieldTexts[static_cast<std::size_t>(i)] << "\n";
    }
}

// The field layout and then the fields' texts. The lengths are read from the first field on
// and end at the first 0, as the fields in use do: a board of three fields costs four reads,
// not the 32 lengths, let alone every setting register.
bool readFieldsInto(CliSession& session) {
    if (!session.connect()) {
        return false;
    }
    for (unsigned reg = config::kUserScreensRegister; reg <= 255; ++reg) {
        session.ops().queue(link::op::kMenuTries, link::op::kMenuIntervalMs,
                            link::cmd::ReadRegister, static_cast<std::uint8_t>(reg), 0);
        if (!session.waitForRing()) {
            return false;
        }
        if (session.board().lock()->BoardCopy.userScreens[reg - config::kUserScreensRegister] ==
            0) {
            break;
        }
    }
    session.ops().readUserFieldValues();
    return session.waitForRing();
}

}  // namespace

int readFields(CommandContext& c) {
    if (!readFieldsInto(c.session())) {
        return kFailed;
    }
    printFields(c.session(), c.out);
    return 0;
}

int writeField(CommandContext& c) {
    const CliOptions& options = c.options;
    std::ostream& err = c.err;
    // The length is checked once the field's digits are known, by the same rule as the
    // bridge's.
    if (link::checkUserFieldText(options.text, 0) == link::FieldTextFault::Character) {
        err << "horalux-cli: a field text holds only digits, '-', '_', '.' and spaces\n";
        return kBadUsage;
    }
    CliSession& session = c.session();
    if (!readFieldsInto(session)) {
        return kFailed;
    }
    std::uint8_t length = 0;
    int count = 0;
    {
        auto data = session.board().lock();
        count = data->UserFieldCount;
        length = data->BoardCopy.userScreens[options.fieldIndex];
    }
    if (static_cast<int>(options.fieldIndex) >= count || length == 0) {
        err << "horalux-cli: the board has no user field " << options.fieldIndex << " (it has "
            << count << ")\n";
        return kFailed;
    }
    if (link::checkUserFieldText(options.text, length) != link::FieldTextFault::None) {
        err << "horalux-cli: field " << options.fieldIndex << " has " << int{length}
            << " digit positions; the text needs " << link::userFieldPositions(options.text)
            << "\n";
        return kBadUsage;
    }
    session.ops().writeUserField(options.fieldIndex, options.text);
    return session.waitForRing() ? 0 : kFailed;
}

}  // namespace horalux::cli
