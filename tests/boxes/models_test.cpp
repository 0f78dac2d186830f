// What the panels and the daemon derive from the model table.

#include <gtest/gtest.h>

#include "boxes/models.h"

namespace iox::boxes {
namespace {

std::string names(const std::vector<Line>& lines)
{
    std::string out;
    for (const auto& line : lines)
        out += line.name() + " ";
    return out;
}

TEST(Models, SerialLinesAreTheLinesOfEveryPortThatCanDrive)
{
    const struct {
        const char* model;
        std::string choices;
        std::string defaults;
    } rows[] = {
        {"IOX-MODEL-A", "A0 A1 A2 A3 A4 A5 A6 A7 ", "A0 A1 A2 "},
        {"IOX-MODEL-B", "B0 B1 B2 B3 ", "B0 B1 B2 "},
        {"IOX-MODEL-C", "A0 A1 A2 A3 A4 A5 A6 A7 B0 B1 B2 B3 B4 B5 B6 B7 ", "B0 B1 B2 "},
        {"IOX-MODEL-D", "B0 B1 B2 B3 B4 B5 B6 B7 ", "B0 B1 B2 "},
    };
    for (const auto& row : rows) {
        const Model* model = findModel(row.model);
        ASSERT_NE(model, nullptr) << row.model;
        EXPECT_EQ(names(model->serialLineChoices()), row.choices) << row.model;
        EXPECT_EQ(names({model->serialLines.begin(), model->serialLines.end()}), row.defaults) << row.model;
    }
}

TEST(Models, AnUnknownModelIsFoundNowhereAndMayHaveEverything)
{
    EXPECT_EQ(findModel("iox-model-c"), nullptr);  // names compare exactly
    const Model& any = modelOrAnyBox("IOX-MODEL-X");
    EXPECT_EQ(any.relays, 8);
    EXPECT_FALSE(any.a.fixed || any.b.fixed);
    EXPECT_EQ(knownModelList(), "IOX-MODEL-A, IOX-MODEL-B, IOX-MODEL-C or IOX-MODEL-D");
}

}  // namespace
}  // namespace iox::boxes
