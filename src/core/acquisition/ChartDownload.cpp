// SPDX-License-Identifier: MIT
#include "core/acquisition/ChartDownload.h"

#include "core/common/ServerConfig.h"

namespace {

// What the body callback saw of one answer.
struct BodySink {
    CByteBuffer* buffer = nullptr;
    CURL* curl = nullptr;
    bool statusRefused = false; // the answer is not a 2xx: its body is not wanted
    bool tooLarge = false;
    bool outOfMemory = false;
};

bool IsSuccessStatus(long status) {
    return status >= 200 && status <= 299;
}

size_t OnBody(char* data, size_t size, size_t count, void* context) {
    auto* sink = static_cast<BodySink*>(context);
    const size_t n = size * count;
    if (sink->buffer->Size() == 0) {
        long status = 0;
        curl_easy_getinfo(sink->curl, CURLINFO_RESPONSE_CODE, &status);
        if (!IsSuccessStatus(status)) {
            sink->statusRefused = true;
            return 0; // ends the transfer: an error page is not read
        }
    }
    if (n > static_cast<size_t>(CHART_BODY_MAX - sink->buffer->Size())) {
        sink->tooLarge = true;
        return 0;
    }
    if (!sink->buffer->Append(data, static_cast<std::int64_t>(n))) {
        sink->outOfMemory = true;
        return 0;
    }
    return n;
}

int Finish(DownloadReport* report, long status, const std::string& error, int result,
           DownloadFailure failure) {
    if (report != nullptr) {
        report->httpStatus = status;
        report->error = error;
        report->failure = failure;
    }
    return result;
}

DownloadFailure FailureOf(CURLcode code) {
    switch (code) {
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_CONNECT:
        return DownloadFailure::Unreachable;
    case CURLE_OPERATION_TIMEDOUT:
        return DownloadFailure::TimedOut;
    default:
        return DownloadFailure::Other;
    }
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
    CHttpSession session(options);
    CURL* curl = session.Handle();
    BodySink sink{&buffer, curl};
    if (curl != nullptr) {
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
        curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
        curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 5L);
        // Refuses an announced oversized body before any byte of it arrives.
        curl_easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(CHART_BODY_MAX));
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
    }
    const CURLcode code = session.Perform();
    const long status = session.ResponseCode();
    if (code == CURLE_OK) {
        if (!IsSuccessStatus(status)) {
            buffer.Empty();
            return Finish(report, status, {}, 1, DownloadFailure::HttpStatus);
        }
        return Finish(report, status, {}, 0, DownloadFailure::None);
    }
    if (sink.statusRefused) {
        buffer.Empty();
        return Finish(report, status, {}, 1, DownloadFailure::HttpStatus);
    }
    if (sink.tooLarge || code == CURLE_FILESIZE_EXCEEDED) {
        buffer.Empty();
        return Finish(report, status, "the chart is larger than 16 MiB", -1,
                      DownloadFailure::TooLarge);
    }
    if (sink.outOfMemory) {
        buffer.Empty();
        return Finish(report, status, "out of memory for the chart", -1, DownloadFailure::Other);
    }
    if (session.Stopped()) {
        return Finish(report, status, "stopped", -1, DownloadFailure::Stopped);
    }
    return Finish(report, status, session.ErrorText(), -1, FailureOf(code));
}
