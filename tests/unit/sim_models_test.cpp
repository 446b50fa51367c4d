// The simulator's table of counter models against the shared one, and tallyx's model letter.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "cli/commands.h"
#include "description.h"
#include "drivers/counter_models.h"
#include "sim_models.h"

namespace tallysim {
namespace {

TEST(SimModels, EveryRowHasItsOwnModelAndSharedRowAndWhatItsCounterNeeds) {
    std::set<Model> models;
    std::set<const tallyx::CounterModelInfo*> shared;
    for (const SimModel* row : SimModels()) {
        EXPECT_TRUE(models.insert(row->model).second);
        ASSERT_NE(row->info, nullptr);
        EXPECT_TRUE(shared.insert(row->info).second);
        EXPECT_EQ(row->model, ModelOf(*row->info));
        EXPECT_NE(row->makeCounter, nullptr);
        EXPECT_NE(row->storeVehicle, nullptr);
        EXPECT_EQ(&SimModelOf(row->model), row);
    }
    // Every model the library knows is simulated.
    EXPECT_EQ(shared.size(), tallyx::CounterModels().size());
}

TEST(SimModels, LettersAreTakenInEitherCaseAndNothingElse) {
    EXPECT_EQ(SimModelOfLetter("A")->model, Model::A);
    EXPECT_EQ(SimModelOfLetter("a")->model, Model::A);
    EXPECT_EQ(SimModelOfLetter("B")->model, Model::B);
    EXPECT_EQ(SimModelOfLetter("b")->model, Model::B);
    EXPECT_EQ(SimModelOfLetter("C"), nullptr);
    EXPECT_EQ(SimModelOfLetter(""), nullptr);
    EXPECT_EQ(SimModelOfLetter("AB"), nullptr);
    EXPECT_EQ(SimModelLetters(), "A, B");
}

TEST(SimModels, TheDefaultUnitTypeNamesTheModelForTallyx) {
    for (const SimModel* row : SimModels()) {
        const Description d = Description::Defaults(row->model);
        EXPECT_EQ(tallyx::ModelOfUnitType(d.device.unitType), row->info);
        EXPECT_EQ(std::string(tallyx::cli::ModelOf(d.device.unitType)), row->info->letter);
    }
    EXPECT_EQ(std::string(tallyx::cli::ModelOf("ZK110-2 rev 4")), "A");
    EXPECT_EQ(std::string(tallyx::cli::ModelOf("ZK220")), "B");
    EXPECT_EQ(std::string(tallyx::cli::ModelOf("ZK330")), "?");
    EXPECT_EQ(std::string(tallyx::cli::ModelOf("")), "?");
}

}  // namespace
}  // namespace tallysim
