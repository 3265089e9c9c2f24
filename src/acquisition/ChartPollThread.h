// SPDX-License-Identifier: MIT
#pragma once

#include <memory>

// The worker that downloads the chart on its schedule, reads the price and hands it to
// the tracker. Started once by the main window; Stop() ends it within about a second,
// also in the middle of a download from a server that never answers.
class CChartPollThread final {
public:
    CChartPollThread();
    ~CChartPollThread(); // stops and joins
    CChartPollThread(const CChartPollThread&) = delete;
    CChartPollThread& operator=(const CChartPollThread&) = delete;

    void Start();
    void Stop();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
