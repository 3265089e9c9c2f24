// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>
#include <string>

// Reading and writing one key of an ini file with the meaning Windows gives its
// private profile files, so that a file written there (or by hand) reads the same here.
// Texts are UTF-8. A write replaces the file whole, so a read sees it before or after any
// write, never a mix; the writes of this process are made one at a time, so two threads
// writing different keys never lose either write.

// The longest value a reader gets, in UTF-16 code units (a 260-unit buffer with its zero).
constexpr int PROFILE_VALUE_MAX = 259;

// A file is read up to this many bytes (whole lines). A larger file is read in part and
// never rewritten, since that would drop the rest; a write that would outgrow it fails.
constexpr std::size_t PROFILE_FILE_MAX = 1024 * 1024;

// The stored value of section/key in the file at path, or the default when the file,
// the section or the key is missing or unreadable.
std::string GetProfileString(const std::string& path, const std::string& section,
                             const std::string& key, const std::string& defaultText);

// What a write did, beyond its result.
struct ProfileWriteReport {
    bool unchanged = false; // the key held the value already: the file was left as it was
    std::string failure;    // why the file could not be written, for people; else empty
};

// Replaces the key's value or adds the key, creating the section and the file when they
// are missing. False when the file could not be written; the old file then stays as it was.
// A file changed by someone else between the read and the replacement (an edit by hand)
// is not overwritten: the change is made again on its new content.
bool WriteProfileString(const std::string& path, const std::string& section, const std::string& key,
                        const std::string& value, ProfileWriteReport* report = nullptr);

// Removes the temporary files (".gold.ini.XXXXXX") that writes cut short by a kill left
// beside the file at path. Only for the one process that writes the file. The number
// removed.
int RemoveProfileLeftovers(const std::string& path);
