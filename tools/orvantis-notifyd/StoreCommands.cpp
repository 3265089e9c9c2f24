// SPDX-License-Identifier: MIT
#include "StoreCommands.h"

#include "SpoolImporter.h"

#include <unistd.h>

#include <array>

PgAlertStore::Settings StoreSettings(const NotifydConfig& config) {
    std::array<char, 256> host{};
    if (gethostname(host.data(), host.size() - 1) != 0) {
        host[0] = '\0';
    }
    PgAlertStore::Settings settings;
    settings.conninfo = config.store;
    settings.copyName = std::string(host.data()) + ":" + std::to_string(getpid());
    settings.fallbackAfter = config.fallbackAfter;
    return settings;
}

int PrepareStore(PgAlertStore& store, std::FILE* out, std::FILE* err) {
    int found = 0;
    std::string error;
    if (!store.Open(found, error)) {
        std::fprintf(err, "orvantis-notifyd: %s\n", error.c_str());
        return 2;
    }
    if (found == PgAlertStore::SCHEMA_VERSION) {
        std::fprintf(out, "store: schema version %d found\n", found);
    } else {
        std::fprintf(out, "store: schema version %d found, now %d\n", found,
                     PgAlertStore::SCHEMA_VERSION);
    }
    return 0;
}

int ImportSpool(const NotifydConfig& config, const std::string& folder, std::FILE* out,
                std::FILE* err) {
    if (config.store.empty()) {
        std::fprintf(err, "orvantis-notifyd: --import-spool needs 'store' in the settings\n");
        return 2;
    }
    PgAlertStore store(StoreSettings(config));
    if (const int status = PrepareStore(store, out, err); status != 0) {
        return status;
    }
    SpoolImporter importer(store, config.routes);
    SpoolImporter::Counts counts;
    std::string error;
    if (!importer.Import(folder, counts, err, error)) {
        std::fprintf(err, "orvantis-notifyd: %s\n", error.c_str());
        return 2;
    }
    std::fprintf(out, "%d alerts moved, %d there already, %d left in the spool\n", counts.moved,
                 counts.known, counts.skipped);
    return counts.skipped == 0 ? 0 : 1;
}
