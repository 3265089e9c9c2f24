// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartDownload.h"

#include "core/common/ServerConfig.h"

namespace {

bool IsSuccessStatus(long status) {
    return status >= 200 && status <= 299;
}

// Takes a 2xx answer's body into the buffer, up to CHART_BODY_MAX bytes.
class CBodySink final : public IHttpReceiver {
public:
    explicit CBodySink(CByteBuffer& buffer) : m_buffer(buffer) {}

    bool OnHead(long status) override {
        statusRefused = !IsSuccessStatus(status); // an error page is not read
        return !statusRefused;
    }
    bool OnBody(std::string_view piece) override {
        if (piece.size() > static_cast<std::size_t>(CHART_BODY_MAX - m_buffer.Size())) {
            tooLarge = true;
            return false;
        }
        outOfMemory = !m_buffer.Append(piece);
        return !outOfMemory;
    }

    bool statusRefused = false;
    bool tooLarge = false;
    bool outOfMemory = false;

private:
    CByteBuffer& m_buffer;
};

int Finish(DownloadReport* report, long status, const std::string& error, int result,
           DownloadFailure failure) {
    if (report != nullptr) {
        report->httpStatus = status;
        report->error = error;
        report->failure = failure;
    }
    return result;
}

DownloadFailure FailureOf(HttpFailure failure) {
    switch (failure) {
    case HttpFailure::Unreachable:
        return DownloadFailure::Unreachable;
    case HttpFailure::TimedOut:
        return DownloadFailure::TimedOut;
    case HttpFailure::None:
    case HttpFailure::Stopped:
    case HttpFailure::TooLarge:
    case HttpFailure::Redirect:
    case HttpFailure::Refused:
    case HttpFailure::Other:
        break;
    }
    return DownloadFailure::Other;
}

} // namespace

std::string ChartUrl() {
    return ChartServer() + CHART_PATH;
}

int DownloadToBuffer(CByteBuffer& buffer, const std::string& url, DownloadReport* report) {
    return DownloadToBuffer(buffer, url, HttpOptions{}, report);
}

int DownloadToBuffer(CByteBuffer& buffer, const std::string& url, const HttpOptions& options,
                     DownloadReport* report) {
    buffer.Empty();
    HttpClientRequest request;
    request.method = "GET";
    request.url = url;
    request.headers = {std::string("User-Agent: ") + HttpUserAgent(), "Accept: */*"};
    request.maxRedirects = 5;
    request.maxBody = CHART_BODY_MAX; // an announced oversized body is refused before it comes
    request.limits = options;
    CBodySink sink(buffer);
    const HttpResult result = HttpTransport().Perform(request, sink);
    if (result.failure == HttpFailure::None) {
        if (!IsSuccessStatus(result.status)) {
            buffer.Empty();
            return Finish(report, result.status, {}, 1, DownloadFailure::HttpStatus);
        }
        return Finish(report, result.status, {}, 0, DownloadFailure::None);
    }
    if (sink.statusRefused) {
        buffer.Empty();
        return Finish(report, result.status, {}, 1, DownloadFailure::HttpStatus);
    }
    if (sink.tooLarge || result.failure == HttpFailure::TooLarge) {
        buffer.Empty();
        return Finish(report, result.status, "the chart is larger than 16 MiB", -1,
                      DownloadFailure::TooLarge);
    }
    if (sink.outOfMemory) {
        buffer.Empty();
        return Finish(report, result.status, "out of memory for the chart", -1,
                      DownloadFailure::Other);
    }
    if (result.failure == HttpFailure::Stopped) {
        return Finish(report, result.status, "stopped", -1, DownloadFailure::Stopped);
    }
    return Finish(report, result.status, result.error, -1, FailureOf(result.failure));
}
