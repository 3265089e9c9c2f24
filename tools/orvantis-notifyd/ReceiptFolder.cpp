// SPDX-License-Identifier: MIT
#include "ReceiptFolder.h"

#include "platform/AtomicFile.h"

namespace {

constexpr std::size_t MAX_RECEIPT_BYTES = 64 * 1024;

} // namespace

OwnFile ReceiptFolder::Load(const std::string& id, AlertProgress& progress,
                            std::string& error) const {
    std::string bytes;
    const OwnFile read = ReadOwnFile(m_folder + "/" + id, MAX_RECEIPT_BYTES, bytes, error);
    if (read == OwnFile::Ok && !AlertProgress::FromText(bytes, progress)) {
        error = "not a receipt";
        return OwnFile::Unusable;
    }
    return read;
}

bool ReceiptFolder::Keep(const std::string& id, const AlertProgress& progress,
                         std::string& error) const {
    return platform::ReplaceFile(m_folder + "/" + id, progress.Text(), 0600, &error);
}
