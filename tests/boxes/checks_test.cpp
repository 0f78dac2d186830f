// Every argument check: the last value taken and the first refused at both ends of each
// range, the refusal's code and its reason, with and without a model.

#include <gtest/gtest.h>

#include <functional>

#include "boxes/checks.h"
#include "device/commands.h"

namespace iox::boxes {
namespace {

const Model* model(const char* name) { return findModel(name); }

struct CheckCase {
    const char* name;
    std::function<std::optional<Refusal>()> check;  // nullopt: taken
    std::optional<Rule> refused;
    std::string reason = "";                         // the whole reason, when refused
};

template <class T>
std::function<std::optional<Refusal>()> by(std::function<Checked<T>()> check)
{
    return [check] {
        const auto result = check();
        return result ? std::nullopt : std::optional<Refusal>(result.refusal());
    };
}

const CheckCase kCases[] = {
    {"relay_7", by<int>([] { return checkRelay(7LL); }), {}},
    {"relay_8", by<int>([] { return checkRelay(8LL); }), Rule::Relay, "a relay is a number from 0 to 7, got \"8\""},
    {"relay_0", by<int>([] { return checkRelay(0LL); }), {}},
    {"relay_minus_1", by<int>([] { return checkRelay(-1LL); }), Rule::Relay},
    {"relay_text_7", by<int>([] { return checkRelay(std::string_view("07")); }), {}},
    {"relay_text_x", by<int>([] { return checkRelay(std::string_view("x")); }), Rule::Relay,
     "a relay is a number from 0 to 7, got \"x\""},
    {"relay_1_on_b", by<int>([] { return checkRelay(1LL, model("IOX-MODEL-B")); }), {}},
    {"relay_2_on_b", by<int>([] { return checkRelay(2LL, model("IOX-MODEL-B")); }), Rule::Relay,
     "a relay is a number from 0 to 1 on IOX-MODEL-B, got \"2\""},
    {"relay_0_on_a", by<int>([] { return checkRelay(0LL, model("IOX-MODEL-A")); }), Rule::Relay,
     "IOX-MODEL-A has no relays, got \"0\""},
    {"line_b7", by<Line>([] { return checkLine("B7"); }), {}},
    {"line_lower_a3", by<Line>([] { return checkLine("a3"); }), {}},
    {"line_a8", by<Line>([] { return checkLine("A8"); }), Rule::Line, "a line is A0..A7 or B0..B7, got \"A8\""},
    {"line_c3", by<Line>([] { return checkLine("C3"); }), Rule::Line},
    {"line_a", by<Line>([] { return checkLine("A"); }), Rule::Line},
    {"line_a30", by<Line>([] { return checkLine("A30"); }), Rule::Line},
    {"line_number_7", by<Line>([] { return checkLine('B', 7LL); }), {}},
    {"line_number_8", by<Line>([] { return checkLine('B', 8LL); }), Rule::Line, "a line is A0..A7 or B0..B7, got \"B8\""},
    {"line_number_minus_1", by<Line>([] { return checkLine('B', -1LL); }), Rule::Line},
    {"line_number_text", by<Line>([] { return checkLine('A', std::string_view("x")); }), Rule::Line},
    {"line_b3_on_b", by<Line>([] { return checkLine("B3", model("IOX-MODEL-B")); }), {}},
    {"line_b4_on_b", by<Line>([] { return checkLine("B4", model("IOX-MODEL-B")); }), Rule::MissingLine,
     "no line B4 on IOX-MODEL-B"},
    {"line_a0_on_b", by<Line>([] { return checkLine('A', 0LL, model("IOX-MODEL-B")); }), Rule::MissingLine},
    {"port_b", by<char>([] { return checkPort("b"); }), {}},
    {"port_c", by<char>([] { return checkPort("C"); }), Rule::Port, "a port is A or B, got \"C\""},
    {"port_ab", by<char>([] { return checkPort("AB"); }), Rule::Port},
    {"port_b_on_a", by<char>([] { return checkPort("B", model("IOX-MODEL-A")); }), Rule::MissingPort,
     "no port B on IOX-MODEL-A"},
    {"direction_a_on_c", [] { return checkDirectionChange('A', model("IOX-MODEL-C")); }, {}},
    {"direction_a_on_d", [] { return checkDirectionChange('A', model("IOX-MODEL-D")); }, Rule::FixedDirection,
     "the direction of port A is fixed on IOX-MODEL-D"},
    {"direction_a_on_b", [] { return checkDirectionChange('A', model("IOX-MODEL-B")); }, Rule::MissingPort},
    {"byte_255", by<std::uint8_t>([] { return checkByte(255LL); }), {}},
    {"byte_256", by<std::uint8_t>([] { return checkByte(256LL); }), Rule::Byte,
     "a byte is a number from 0 to 255, got \"256\""},
    {"byte_minus_1", by<std::uint8_t>([] { return checkByte(-1LL); }), Rule::Byte},
    {"byte_text_0255", by<std::uint8_t>([] { return checkByte(std::string_view("0255")); }), {}},
    {"byte_text_huge", by<std::uint8_t>([] { return checkByte(std::string_view("99999999999999999999")); }), Rule::Byte},
    {"word_56", by<std::string>([] { return checkWord(std::string(56, '1'), kSpiOutMaxBits); }), {}},
    {"word_57", by<std::string>([] { return checkWord(std::string(57, '0'), kSpiOutMaxBits); }), Rule::Word},
    {"word_61_trigg", by<std::string>([] { return checkWord(std::string(61, '1'), kSpiOutTriggMaxBits); }), {}},
    {"word_62_trigg", by<std::string>([] { return checkWord(std::string(62, '1'), kSpiOutTriggMaxBits); }), Rule::Word},
    {"word_empty", by<std::string>([] { return checkWord("", kSpiOutMaxBits); }), Rule::Word},
    {"word_x", by<std::string>([] { return checkWord("10x1", kSpiOutMaxBits); }), Rule::Word,
     "a word is 1 to 56 characters 0 and 1, got \"10x1\""},
    {"pulse_255", by<int>([] { return checkPulseLength(255LL); }), {}},
    {"pulse_256", by<int>([] { return checkPulseLength(std::string_view("256")); }), Rule::PulseLength,
     "a pulse lasts 0 to 255 ms, got \"256\""},
    {"pulse_minus_1", by<int>([] { return checkPulseLength(-1LL); }), Rule::PulseLength},
    {"width_0", by<int>([] { return checkPulseWidth(std::string_view("0")); }), {}},
    {"width_255", by<int>([] { return checkPulseWidth(255LL); }), {}},
    {"width_256", by<int>([] { return checkPulseWidth(256LL); }), Rule::PulseWidth,
     "a pulse width is 0 to 255 us, got \"256\""},
    {"serial_lines", by<std::array<Line, 3>>([] { return checkSerialLines({"b0", "B1", "A7"}, nullptr); }), {}},
    {"serial_lines_same", by<std::array<Line, 3>>([] { return checkSerialLines({"B0", "b0", "B2"}, nullptr); }),
     Rule::SerialLines, "clock, data and latch must be three different lines"},
    {"serial_lines_default_clash",
     by<std::array<Line, 3>>([] { return checkSerialLines({"", "B0", ""}, model("IOX-MODEL-C")); }), Rule::SerialLines},
    {"serial_lines_bad_name", by<std::array<Line, 3>>([] { return checkSerialLines({"B0", "B1", "C2"}, nullptr); }),
     Rule::Line},
    {"serial_lines_missing", by<std::array<Line, 3>>([] { return checkSerialLines({"", "", "B4"}, model("IOX-MODEL-B")); }),
     Rule::MissingLine},
    {"serial_lines_input", by<std::array<Line, 3>>([] { return checkSerialLines({"", "", "A2"}, model("IOX-MODEL-D")); }),
     Rule::InputLine, "port A is an input on IOX-MODEL-D"},
};

class Checks : public ::testing::TestWithParam<CheckCase> {};

TEST_P(Checks, TakeOrRefuseWithTheirCodeAndReason)
{
    const CheckCase& c = GetParam();
    const auto refusal = c.check();
    ASSERT_EQ(refusal.has_value(), c.refused.has_value()) << (refusal ? refusal->reason : "taken");
    if (!refusal)
        return;
    EXPECT_EQ(refusal->rule, *c.refused);
    if (!c.reason.empty()) {
        EXPECT_EQ(refusal->reason, c.reason);
    }
}

INSTANTIATE_TEST_SUITE_P(Values, Checks, ::testing::ValuesIn(kCases), [](const auto& info) { return info.param.name; });

TEST(Checks, GiveTheCheckedValueAndShowAGivenTextSafely)
{
    EXPECT_EQ(checkLine("a3")->name(), "A3");
    EXPECT_EQ(*checkByte(std::string_view("0255")), 255);
    const auto defaults = checkSerialLines({"", "", ""}, findModel("IOX-MODEL-A"));
    ASSERT_TRUE(defaults);
    EXPECT_EQ((*defaults)[2].name(), "A2");
    EXPECT_EQ(refuse(Rule::Byte, "0x1\n" + std::string(50, 'f'), "or 0x00..0xff").reason,
              "a byte is a number from 0 to 255 (or 0x00..0xff), got \"0x1?" + std::string(36, 'f') + "...\"");
}

}  // namespace
}  // namespace iox::boxes
