#include "link/wire/Frame.h"

#include "link/wire/Commands.h"

#include <algorithm>
#include <stdexcept>

namespace horalux::link {

std::uint16_t byteSum(std::span<const std::uint8_t> bytes) {
    std::uint32_t sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    return static_cast<std::uint16_t>(sum & 0xFFFFU);
}

std::array<std::uint8_t, 2> foldedSum(std::span<const std::uint8_t> bytes) {
    const std::uint16_t s = byteSum(bytes);
    const auto high = static_cast<std::uint8_t>(s >> 8);
    const auto low = static_cast<std::uint8_t>(s & 0xFFU);
    return {static_cast<std::uint8_t>(high + low), low};
}

std::uint8_t shortSum(std::span<const std::uint8_t> bytes) {
    return static_cast<std::uint8_t>(byteSum(bytes) & 0xFFU);
}

void FrameSum(std::span<std::uint8_t> bytes, std::size_t first, std::size_t last, SumForm form,
              std::size_t position) {
    std::span<const std::uint8_t> covered;
    if (last >= first) {
        covered = std::span<const std::uint8_t>(bytes).subspan(first, last - first + 1);
    }
    if (form == SumForm::Folded) {
        const auto folded = foldedSum(covered);
        bytes[position] = folded[0];
        bytes[position + 1] = folded[1];
    } else {
        bytes[position] = shortSum(covered);
    }
}

std::span<const std::uint8_t> RequestFrameBuilder::plain(std::uint8_t address, std::uint8_t command,
                                                         std::uint8_t param1, std::uint8_t param2) {
    std::fill_n(buffer_.begin(), kPreambleLength, kPreambleByte);
    std::uint8_t* h = buffer_.data() + kPreambleLength;
    h[0] = 0x00;
    h[1] = kStartByte;
    h[2] = 0x00;
    h[3] = address;
    h[4] = command;
    h[5] = param1;
    h[6] = param2;
    FrameSum(buffer_, kPreambleLength, kPreambleLength + 6, SumForm::Folded, kPreambleLength + 7);
    return {buffer_.data(), kPlainFrameLength};
}

std::span<const std::uint8_t> RequestFrameBuilder::withBlock(std::uint8_t address,
                                                             std::uint8_t command,
                                                             std::span<const std::uint8_t> data) {
    if (data.size() > kMaxRequestBlock) {
        throw std::length_error("data block too long for one frame");
    }
    const std::size_t n = data.size();
    std::fill_n(buffer_.begin(), kPreambleLength, kPreambleByte);
    std::uint8_t* h = buffer_.data() + kPreambleLength;
    h[0] = 0x00;
    h[1] = 0x00;
    h[2] = kStartByte;
    h[3] = 0x00;
    h[4] = address;
    h[5] = command;
    h[6] = static_cast<std::uint8_t>(n / 256);
    h[7] = static_cast<std::uint8_t>(n % 256);
    FrameSum(buffer_, kPreambleLength, kPreambleLength + 7, SumForm::Folded, kPreambleLength + 8);
    const std::size_t dataAt = kPreambleLength + 10;
    std::copy(data.begin(), data.end(), buffer_.begin() + static_cast<std::ptrdiff_t>(dataAt));
    if (n > 0) {
        FrameSum(buffer_, dataAt, dataAt + n - 1, SumForm::Short, dataAt + n);
    } else {
        buffer_[dataAt] = 0;
    }
    return {buffer_.data(), kBlockFrameOverhead + n};
}

std::array<std::uint8_t, kReplyHeaderLength> makeReplyHeader(const ReplyHeader& header) {
    std::array<std::uint8_t, kReplyHeaderLength> bytes{
        kStartByte, header.address, header.byte2, header.code, header.param1, header.param2, 0, 0};
    FrameSum(bytes, 0, 5, SumForm::Folded, 6);
    return bytes;
}

std::vector<std::uint8_t> makeReplyFrame(ReplyHeader header, std::span<const std::uint8_t> data) {
    if (header.code == cmd::ReadUserFields && data.size() <= 0xFFFF) {
        header.param1 = static_cast<std::uint8_t>(data.size() / 256);
    } else if (data.size() > 255) {
        throw std::length_error("reply data block longer than 255 bytes");
    }
    header.param2 = static_cast<std::uint8_t>(data.size() % 256);
    const auto head = makeReplyHeader(header);
    std::vector<std::uint8_t> frame(kReplyHeaderLength + data.size() + 1);
    std::copy(head.begin(), head.end(), frame.begin());
    std::copy(data.begin(), data.end(), frame.begin() + kReplyHeaderLength);
    frame.back() = shortSum(data);
    return frame;
}

bool isReplyHeader(std::span<const std::uint8_t, kReplyHeaderLength> window) {
    if (window[0] != kStartByte) {
        return false;
    }
    const auto folded = foldedSum(window.first(6));
    return folded[0] == window[6] && folded[1] == window[7];
}

}  // namespace horalux::link
