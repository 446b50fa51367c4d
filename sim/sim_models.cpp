#include "sim_models.h"

#include <cstdio>
#include <cstdlib>

namespace tallysim {

// Every simulated model's row, defined in its counter's file.
extern const SimModel kModelASim;
extern const SimModel kModelBSim;

namespace {

const SimModel* const kSimModels[] = {&kModelASim, &kModelBSim};

}  // namespace

std::span<const SimModel* const> SimModels() { return kSimModels; }

const SimModel& SimModelOf(Model model) {
    for (const SimModel* row : kSimModels) {
        if (row->model == model) return *row;
    }
    std::fprintf(stderr, "tallysim: no row in sim_models.cpp for model %zu\n", static_cast<size_t>(model));
    std::abort();
}

const SimModel* SimModelOfLetter(std::string_view letter) {
    const tallyx::CounterModelInfo* shared = tallyx::ModelOfLetter(letter);
    for (const SimModel* row : kSimModels) {
        if (row->info == shared) return row;
    }
    return nullptr;
}

std::string SimModelLetters() {
    std::string letters;
    for (const SimModel* row : kSimModels) letters += (letters.empty() ? "" : ", ") + std::string(row->info->letter);
    return letters;
}

}  // namespace tallysim
