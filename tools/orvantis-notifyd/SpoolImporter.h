// SPDX-License-Identifier: MIT
#pragma once

#include "PgAlertStore.h"
#include "RouteTable.h"

#include <cstdio>
#include <string>

// Moves the waiting alerts of a file spool into the database store. Each alert is kept in
// the database before its file is removed, and one kept before is not kept again, so a run
// cut short can simply be run again: every alert arrives exactly once.
class SpoolImporter final {
public:
    struct Counts {
        int moved = 0;   // new in the database
        int known = 0;   // there already, from a run cut short
        int skipped = 0; // unreadable, held by a running copy, or refused by the database
    };

    SpoolImporter(PgAlertStore& store, const RouteTable& routes)
        : m_store(store), m_routes(routes) {}

    // False with the reason when the spool cannot be opened; each skipped file is named
    // on log.
    bool Import(const std::string& folder, Counts& counts, std::FILE* log, std::string& error);

private:
    PgAlertStore& m_store;
    const RouteTable& m_routes;
};
