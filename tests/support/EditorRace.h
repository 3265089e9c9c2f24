// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <string>

// A user editing gold.ini by hand while the program writes it: one thread writes
// CurrentPrice as fast as it can, the other saves the file as an editor does, each time
// with a new e-mail address, and checks after each save that the address it saved is
// still there and no key of its is gone.
class EditorRace final {
public:
    enum class Style {
        Rename, // writes a copy and renames it over the file
        InPlace // truncates the file and writes it again, in two pieces
    };

    struct Result {
        int edits = 0;
        int reverted = 0;    // edits that a program write undid
        int wiped = 0;       // saves after which a key of the user's was gone
        int seenBriefly = 0; // saves whose file showed old content for a moment
        int programWrites = 0;
        int programFailures = 0; // writes that gave up (the file kept changing)
    };

    // Races in the folder for at most `duration` or `maxEdits` saves, whichever ends first.
    static Result Run(const std::string& folder, Style style, std::chrono::milliseconds duration,
                      int maxEdits);
};
