#pragma once

#include <cstdint>
#include <span>

// Entry points shared by the libFuzzer targets and the corpus replay run by the tests. Each
// takes arbitrary bytes and must neither crash nor trip a sanitizer; checks that fail abort.
namespace horalux::fuzz {

void requestParser(std::span<const std::uint8_t> bytes);
void registerFile(std::span<const std::uint8_t> bytes);
void settingsFile(std::span<const std::uint8_t> bytes);
void sntpReply(std::span<const std::uint8_t> bytes);
void replyDecoder(std::span<const std::uint8_t> bytes);

}  // namespace horalux::fuzz
