// SPDX-License-Identifier: MIT
#include "SpoolImporter.h"

#include "MailSpool.h"

#include <memory>

bool SpoolImporter::Import(const std::string& folder, Counts& counts, std::FILE* log,
                           std::string& error) {
    MailSpool spool(folder);
    if (spool.Open(error) != MailSpool::Opened::Ok) {
        return false;
    }
    for (const std::string& file : spool.Waiting()) {
        std::string why;
        const std::unique_ptr<MailSpool::Claim> claim = spool.Take(file, why);
        if (!claim) {
            // Gone meanwhile, taken by a running copy, or set aside as unreadable.
            if (!why.empty()) {
                std::fprintf(log, "skipped %s: %s\n", file.c_str(), why.c_str());
                ++counts.skipped;
            }
            continue;
        }
        const SpooledMail& mail = claim->Mail();
        // What the spool's receipt says already done stays done.
        AlertProgress progress(m_routes.Find(mail.recipient), mail.alert.received);
        std::string receiptError;
        if (spool.Receipts().Load(mail.alert.id, progress, receiptError) == OwnFile::Unusable) {
            std::fprintf(log, "skipped %s: its receipt: %s\n", file.c_str(), receiptError.c_str());
            ++counts.skipped;
            continue;
        }
        progress.Follow(m_routes.Find(mail.recipient));
        bool inserted = false;
        if (!m_store.Store(mail, progress, inserted, why) || !claim->Remove()) {
            std::fprintf(log, "skipped %s: %s\n", file.c_str(),
                         why.empty() ? "it cannot be removed" : why.c_str());
            ++counts.skipped;
            continue;
        }
        ++(inserted ? counts.moved : counts.known);
    }
    return true;
}
