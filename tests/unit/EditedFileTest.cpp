// SPDX-License-Identifier: MIT
// Edits by hand racing program writes of the same file.
#include "support/EditorRace.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

// An edit by hand while the program writes the file is never undone and never wiped,
// whether the editor saves by rename or in place.
class EditsByHand : public ::testing::TestWithParam<EditorRace::Style> {};

TEST_P(EditsByHand, SurviveProgramWrites) {
    // Rounds of two seconds until the two really raced, however busy the machine is.
    int edits = 0;
    int programWrites = 0;
    for (int round = 0; round < 15 && (edits <= 20 || programWrites <= 5); ++round) {
        TempDir dir;
        const EditorRace::Result race =
            EditorRace::Run(dir.Path(), GetParam(), std::chrono::milliseconds(2000), 500);
        edits += race.edits;
        programWrites += race.programWrites;
        EXPECT_EQ(race.reverted, 0);
        EXPECT_EQ(race.wiped, 0);
    }
    EXPECT_GT(edits, 20);
    EXPECT_GT(programWrites, 5);
}

INSTANTIATE_TEST_SUITE_P(Editors, EditsByHand,
                         ::testing::Values(EditorRace::Style::Rename, EditorRace::Style::InPlace),
                         [](const auto& param) {
                             return param.param == EditorRace::Style::Rename ? "SaveByRename"
                                                                             : "SaveInPlace";
                         });

} // namespace
