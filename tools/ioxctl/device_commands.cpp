#include "device_commands.h"

#include <nlohmann/json.hpp>

#include "boxes/box_json.h"
#include "boxes/state.h"
#include "text_format.h"

namespace iox::ctl {

namespace {

Exit status(std::int16_t result, const Environment& env, const std::string& what)
{
    return result == 1 ? Exit::Ok : notAnswering(env, what);
}

}  // namespace

Exit notAnswering(const Environment& env, const std::string& what)
{
    env.err << "ioxctl: the box did not answer (" << what << ")\n";
    return Exit::NotAnswering;
}

Exit runRelay(USB_IO& device, const RelayCommand& command, const Environment& env)
{
    std::int16_t relay = static_cast<std::int16_t>(command.relay);
    std::int16_t on = command.on ? 1 : 0;
    return status(device.Set_Relay(relay, on), env, "relay");
}

Exit runRelays(USB_IO& device, const RelaysCommand& command, const Environment& env)
{
    return status(device.Set_RelayByte(command.value), env, "relays");
}

Exit runPortDirection(USB_IO& device, const PortDirectionCommand& command, const Environment& env)
{
    std::int16_t result = 0;
    if (command.port == 'A')
        result = command.output ? device.Set_ByteA_As_Output() : device.Set_ByteA_As_Input();
    else
        result = command.output ? device.Set_ByteB_As_Output() : device.Set_ByteB_As_Input();
    return status(result, env, "port direction");
}

Exit runPortSet(USB_IO& device, const PortSetCommand& command, const Environment& env)
{
    const std::int16_t result = command.port == 'A' ? device.Set_ByteA(command.value) : device.Set_ByteB(command.value);
    return status(result, env, "port set");
}

Exit runLine(USB_IO& device, const LineCommand& command, const Environment& env)
{
    return status(device.Set_TTLBit(command.line, static_cast<std::int16_t>(command.level)), env, "line");
}

Exit runPulse(USB_IO& device, const PulseCommand& command, const Environment& env)
{
    return status(device.Set_TTLPulse(command.line, static_cast<std::int16_t>(command.ms)), env, "pulse");
}

Exit runSpi(USB_IO& device, const SpiCommand& command, const Environment& env)
{
    return status(device.SPI_OUT(command.clock, command.data, command.le, command.word), env, "spi");
}

Exit runPulseWidth(USB_IO& device, const PulseWidthCommand& command, const Environment& env)
{
    std::int16_t width = static_cast<std::int16_t>(command.us);
    return status(device.Set_SPI_PulseWidth(width), env, "pulse-width");
}

namespace {

// Ports A and B and the relays from one state read, on one line.
Exit readAll(USB_IO& device, bool json, const Environment& env)
{
    const boxes::State state = boxes::readState(device, boxes::Parts{});
    if (!state.answered())
        return notAnswering(env, "read all");
    if (json) {
        boxes::BoxFacts facts;
        facts.state = state;
        env.out << boxes::boxJson(facts).dump() << '\n';
        return Exit::Ok;
    }
    env.out << "A = " << hexByte(state.a) << " (" << bits(state.a) << ")  B = " << hexByte(state.b) << " ("
            << bits(state.b) << ")  relays = " << hexByte(state.relays) << " (" << bits(state.relays) << ")\n";
    return Exit::Ok;
}

}  // namespace

Exit runRead(USB_IO& device, const ReadCommand& command, bool json, const Environment& env)
{
    if (command.what == ReadCommand::What::All)
        return readAll(device, json, env);
    std::uint8_t value = 0;
    std::string name;
    std::int16_t result = 0;
    switch (command.what) {
    case ReadCommand::What::PortA: name = "A", result = device.ReadByteA(value); break;
    case ReadCommand::What::PortB: name = "B", result = device.ReadByteB(value); break;
    case ReadCommand::What::Relays: name = "relays", result = device.Read_Relays_Byte(value); break;
    case ReadCommand::What::Line: name = command.line, result = device.ReadBit(command.line, value); break;
    case ReadCommand::What::All: break;
    }
    if (result != 1)
        return notAnswering(env, "read " + name);
    const bool byte = command.what != ReadCommand::What::Line;
    if (json) {
        nlohmann::json answer{{"name", name}, {"value", value}};
        if (byte)
            answer["bits"] = bits(value);
        env.out << answer.dump() << '\n';
    } else if (byte) {
        env.out << name << " = " << hexByte(value) << " (" << bits(value) << ")\n";
    } else {
        env.out << name << " = " << int(value) << '\n';
    }
    return Exit::Ok;
}

}  // namespace iox::ctl
