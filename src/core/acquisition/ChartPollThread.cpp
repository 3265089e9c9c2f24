// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartPollThread.h"

#include "core/acquisition/ChartDownload.h"
#include "core/acquisition/ChartReader.h"
#include "core/common/Globals.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

// A wait on a condition variable that Stop() cuts short.
class CStoppableSleeper final : public ISleeper {
public:
    explicit CStoppableSleeper(std::atomic<bool>& stop) : m_stop(stop) {}

    bool SleepMs(int ms) override {
        std::unique_lock lock(m_mutex);
        return !m_wake.wait_for(lock, std::chrono::milliseconds(ms),
                                [this] { return m_stop.load(); });
    }

    void Wake() {
        // Taking the lock orders the stop flag before a waiter's check of it.
        { std::lock_guard lock(m_mutex); }
        m_wake.notify_all();
    }

private:
    std::atomic<bool>& m_stop;
    std::mutex m_mutex;
    std::condition_variable m_wake;
};

} // namespace

ChartPollHooks ChartSourceHooks() {
    ChartPollHooks hooks;
    hooks.download = [](CByteBuffer& buffer, const std::atomic<bool>& stop) {
        HttpOptions options;
        options.stop = &stop;
        DownloadToBuffer(buffer, ChartUrl(), options);
    };
    hooks.read = [](const std::uint8_t* bytes, int size) { return ReadChartPrice(bytes, size); };
    return hooks;
}

void ChartPollThread(const ChartPollHooks& hooks, ISleeper& sleeper,
                     const std::atomic<bool>& stop) {
    if (g_pMainDlg.load() == nullptr) {
        return;
    }
    int quickDelayMs = POLL_QUICK_DELAY_START_MS;
    int quickWaits = 0;
    int waitingFlag = 1;
    do {
        if (stop.load()) {
            return;
        }
        CByteBuffer buffer;
        hooks.download(buffer, stop);
        // An empty buffer gives no text; a stop during the download skips the tracker.
        const std::optional<std::string> priceText = hooks.read(buffer.Data(), buffer.Size());
        if (priceText && !stop.load()) {
            hooks.track(*priceText, waitingFlag);
        }
        int waitMs = POLL_INTERVAL_MS;
        // The count of quick waits is never reset: after ten of them the schedule stays slow.
        if (waitingFlag != 0 && quickWaits < POLL_QUICK_WAITS_MAX) {
            ++quickWaits;
            quickDelayMs += POLL_QUICK_DELAY_STEP_MS;
            waitMs = quickDelayMs;
        }
        if (!sleeper.SleepMs(waitMs)) {
            return;
        }
    } while (g_pMainDlg.load() != nullptr);
}

struct CChartPollThread::Impl {
    explicit Impl(ChartPollHooks pollHooks) : hooks(std::move(pollHooks)), sleeper(stop) {}

    ChartPollHooks hooks;
    std::atomic<bool> stop{false};
    CStoppableSleeper sleeper;
    std::thread thread;
    std::mutex doneMutex;
    std::condition_variable doneChanged;
    bool done = false;
};

CChartPollThread::CChartPollThread(ChartPollHooks hooks)
    : m_impl(std::make_unique<Impl>(std::move(hooks))) {}

CChartPollThread::~CChartPollThread() {
    Stop();
}

void CChartPollThread::Start() {
    if (!m_impl || m_impl->thread.joinable()) {
        return;
    }
    m_impl->stop.store(false);
    m_impl->done = false;
    Impl* impl = m_impl.get();
    m_impl->thread = std::thread([impl] {
        ChartPollThread(impl->hooks, impl->sleeper, impl->stop);
        const std::lock_guard lock(impl->doneMutex);
        impl->done = true;
        impl->doneChanged.notify_all();
    });
}

void CChartPollThread::RequestStop() {
    if (m_impl) {
        m_impl->stop.store(true);
        m_impl->sleeper.Wake();
    }
}

void CChartPollThread::Stop() {
    RequestStop();
    if (m_impl && m_impl->thread.joinable()) {
        m_impl->thread.join();
    }
}

bool CChartPollThread::Stop(std::chrono::milliseconds within) {
    RequestStop();
    if (!m_impl || !m_impl->thread.joinable()) {
        return true;
    }
    std::unique_lock lock(m_impl->doneMutex);
    if (m_impl->doneChanged.wait_for(lock, within, [this] { return m_impl->done; })) {
        lock.unlock();
        m_impl->thread.join();
        return true;
    }
    lock.unlock();
    // Stuck in a call that no stop reaches (a name lookup that waits for its resolver):
    // left to run on its own, with everything it uses, until the process ends.
    m_impl->thread.detach();
    static_cast<void>(m_impl.release());
    return false;
}
