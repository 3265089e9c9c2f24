// SPDX-License-Identifier: MIT
#include "support/EditorRace.h"

#include "core/settings/ProfileFile.h"
#include "support/TempDir.h"

#include <fcntl.h>
#include <sched.h>
#include <unistd.h>

#include <atomic>
#include <fstream>
#include <random>
#include <thread>

namespace {

std::string EmailLine(int edit) {
    return "\nEmail=user" + std::to_string(edit) + "@example.com\n";
}

std::string EditorBuffer(int edit) {
    return "[Option]\nPriceChange=7" + EmailLine(edit) + "CurrentPrice=1.00\n";
}

// A save by rename writes a copy first; one in place truncates the file and writes it in
// two pieces, yielding in between.
void Save(const std::string& path, const std::string& bytes, EditorRace::Style style) {
    const bool byRename = style == EditorRace::Style::Rename;
    const std::string target = byRename ? path + ".edit~" : path;
    const int fd = open(target.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const std::size_t half = byRename ? bytes.size() : bytes.size() / 2;
    for (const std::string& piece : {bytes.substr(0, half), bytes.substr(half)}) {
        sched_yield();
        if (write(fd, piece.data(), piece.size()) != static_cast<ssize_t>(piece.size())) {
            break;
        }
    }
    close(fd);
    if (byRename) {
        rename(target.c_str(), path.c_str());
    }
}

// What the user finds after a save: the edit, and every key of theirs. A program write
// that swapped in its copy just before the save shows the old content until it notices
// the save and puts it back, which takes a moment on a busy machine; only what stays
// longer than STAYS counts.
void Check(const std::string& path, int edit, EditorRace::Result& result) {
    constexpr auto STAYS = std::chrono::milliseconds(200);
    const auto giveUp = std::chrono::steady_clock::now() + STAYS;
    for (int look = 0;; ++look) {
        const std::string seen = ReadFileBytes(path);
        const bool hasKeys = seen.find("\nPriceChange=7\n") != std::string::npos &&
                             seen.find("\nEmail=") != std::string::npos;
        const bool hasEdit = seen.find(EmailLine(edit)) != std::string::npos;
        if (hasKeys && hasEdit) {
            result.seenBriefly += look > 0 ? 1 : 0;
            return;
        }
        if (std::chrono::steady_clock::now() > giveUp) {
            (hasKeys ? result.reverted : result.wiped) += 1;
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

} // namespace

EditorRace::Result EditorRace::Run(const std::string& folder, Style style,
                                   std::chrono::milliseconds duration, int maxEdits) {
    const std::string path = folder + "/gold.ini";
    Result result;
    { std::ofstream(path, std::ios::binary) << EditorBuffer(0); }
    std::atomic<bool> done{false};
    std::thread program([&] {
        for (int i = 0; !done.load(); ++i) {
            ++result.programWrites;
            if (!WriteProfileString(path, "Option", "CurrentPrice", std::to_string(i) + ".00")) {
                ++result.programFailures;
            }
        }
    });
    // A pause of up to 3 ms between saves lets them land anywhere in a program write.
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<int> pauseUs(0, 3000);
    const auto end = std::chrono::steady_clock::now() + duration;
    for (int edit = 1; edit <= maxEdits && std::chrono::steady_clock::now() < end; ++edit) {
        Save(path, EditorBuffer(edit), style);
        ++result.edits;
        Check(path, edit, result);
        std::this_thread::sleep_for(std::chrono::microseconds(pauseUs(random)));
    }
    done.store(true);
    program.join();
    return result;
}
