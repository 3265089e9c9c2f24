// SPDX-License-Identifier: MIT
// orvantis-editor-race [SECONDS]: a user saving gold.ini by hand while the program writes
// it, for SECONDS (default 60) per editor style; prints the edits that a program write
// undid and the saves after which a key of the user's was gone (both should be 0).

#include "support/EditorRace.h"
#include "support/TempDir.h"

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::atoi(argv[1]) : 60;
    int status = 0;
    for (const auto style : {EditorRace::Style::Rename, EditorRace::Style::InPlace}) {
        TempDir dir;
        const EditorRace::Result race =
            EditorRace::Run(dir.Path(), style, std::chrono::seconds(seconds), 1 << 30);
        std::printf("%-14s %3d s: %6d edits, %d reverted, %d wiped (%d showed old content for a "
                    "moment); %d program writes, %d gave up\n",
                    style == EditorRace::Style::Rename ? "save by rename" : "save in place",
                    seconds, race.edits, race.reverted, race.wiped, race.seenBriefly,
                    race.programWrites, race.programFailures);
        status |= race.reverted + race.wiped != 0 ? 1 : 0;
    }
    return status;
}
