#include "state.h"

#include <thread>

namespace iox::boxes {

Parts partsOf(const Model& model) { return {model.a.lines > 0, model.b.lines > 0, model.relays > 0}; }

bool State::sameAs(const State& other) const
{
    return read.a == other.read.a && read.b == other.read.b && read.relays == other.read.relays && a == other.a &&
           b == other.b && relays == other.relays && failed == other.failed;
}

State readState(USB_IO& io, Parts parts)
{
    State state;
    const struct {
        bool asked;
        Part part;
        std::int16_t (USB_IO::*read)(std::uint8_t&);
        std::uint8_t& value;
        bool& answered;
    } reads[] = {{parts.a, Part::A, &USB_IO::ReadByteA, state.a, state.read.a},
                 {parts.b, Part::B, &USB_IO::ReadByteB, state.b, state.read.b},
                 {parts.relays, Part::Relays, &USB_IO::Read_Relays_Byte, state.relays, state.read.relays}};
    for (const auto& one : reads) {
        if (!one.asked)
            continue;
        if ((io.*one.read)(one.value) != 1) {
            state.failed = one.part;
            break;
        }
        one.answered = true;
    }
    state.time = std::chrono::steady_clock::now();
    return state;
}

std::optional<State> poll(USB_IO& io, const Poll& poll)
{
    const auto stopped = [&] { return poll.stop && poll.stop(); };
    std::optional<State> last;
    while (!stopped()) {
        State now = readState(io, poll.parts);
        if (!now.answered())
            return now;
        if (!last || !now.sameAs(*last)) {
            last = now;
            if (poll.changed)
                poll.changed(now);
        }
        if (stopped())
            break;
        if (poll.pause)
            poll.pause(poll.interval);
        else if (poll.interval.count() > 0)
            std::this_thread::sleep_for(poll.interval);
    }
    return std::nullopt;
}

}  // namespace iox::boxes
