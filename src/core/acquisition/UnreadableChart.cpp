// SPDX-License-Identifier: MIT
#include "core/acquisition/UnreadableChart.h"

#include "core/acquisition/ChartDownload.h"
#include "core/common/Globals.h"
#include "platform/AtomicFile.h"
#include "platform/Platform.h"

std::string UnreadableChartPath() {
    return platform::UserCacheDir() + "/" + APP_FOLDER_VENDOR + "/" + APP_FOLDER_NAME + "/" +
           UNREADABLE_CHART_NAME;
}

std::string KeepUnreadableChart(const CByteBuffer& chart) {
    if (chart.Size() > CHART_BODY_MAX) {
        return {};
    }
    const bool kept = platform::ReplaceFileBelow(
        platform::UserCacheDir(), {APP_FOLDER_VENDOR, APP_FOLDER_NAME}, UNREADABLE_CHART_NAME,
        std::string_view(reinterpret_cast<const char*>(chart.Data()),
                         static_cast<std::size_t>(chart.Size())));
    return kept ? UnreadableChartPath() : std::string();
}
