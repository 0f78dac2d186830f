// Fuzzes ioxd's command parsing. Input: a topic (or a web path after the box's serial number),
// a newline, the payload (or request body). Every message must end as one command or a refusal
// with a reason, and a command's values must lie where the box can take them.

#include <string_view>

#include "command.h"
#include "fuzz_support.h"

namespace {

void checkValues(const iox::boxes::BoxCommand& command)
{
    if (const auto* relay = std::get_if<iox::boxes::SetRelay>(&command))
        check(relay->relay >= 0 && relay->relay <= 7);
    if (const auto* spi = std::get_if<iox::boxes::SendWord>(&command))
        check(!spi->word.empty() && spi->word.size() <= 56);
    if (const auto* pulse = std::get_if<iox::boxes::SendPulse>(&command))
        check(pulse->ms >= 0 && pulse->ms <= 255 && pulse->line.bit >= 0 && pulse->line.bit <= 7);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const auto split = input.find('\n');
    const auto topic = input.substr(0, split);
    const auto payload = split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
    const auto command = iox::mqtt::parseCommand("iox", topic, payload);
    check(command.action.has_value() != !command.reason.empty());
    if (command.action)
        checkValues(*command.action);
    const auto web = iox::boxes::parseCommandWords(iox::boxes::slashWords(topic), payload);
    if (const auto* refusal = std::get_if<iox::boxes::CommandRefusal>(&web))
        check(!refusal->reason.empty());
    else
        checkValues(std::get<iox::boxes::BoxCommand>(web));
    return 0;
}
