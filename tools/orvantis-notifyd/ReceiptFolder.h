// SPDX-License-Identifier: MIT
#pragma once

#include "AlertProgress.h"
#include "httpd/ServiceFiles.h"

#include <string>

// The receipts of the alerts, one file each, named by the alert's id: written whole by the
// one atomic writer, and read as carefully as a spooled alert.
class ReceiptFolder final {
public:
    explicit ReceiptFolder(std::string folder) : m_folder(std::move(folder)) {}

    const std::string& Folder() const { return m_folder; }
    // Missing when the alert has none yet; Unusable (the reason in error) when its file
    // cannot be trusted or read, which the sender takes as a reason not to deliver.
    OwnFile Load(const std::string& id, AlertProgress& progress, std::string& error) const;
    bool Keep(const std::string& id, const AlertProgress& progress, std::string& error) const;

private:
    std::string m_folder;
};
