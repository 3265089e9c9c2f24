// SPDX-License-Identifier: MIT
#pragma once

#include "NotifydConfig.h"
#include "PgAlertStore.h"

#include <cstdio>
#include <string>

// The store's settings for this copy: its name is the host's and the process's, so that an
// operator sees who holds a lease.
PgAlertStore::Settings StoreSettings(const NotifydConfig& config);

// Connects to the configured store and brings its schema up to date, saying on out which
// version it found. 0, or 2 with the reason on err (never the password).
int PrepareStore(PgAlertStore& store, std::FILE* out, std::FILE* err);

// orvantis-notifyd --import-spool DIR: moves the spool's waiting alerts into the store and
// says how many; 0 when none was left behind, 1 when some were, 2 when nothing could be done.
int ImportSpool(const NotifydConfig& config, const std::string& folder, std::FILE* out,
                std::FILE* err);
