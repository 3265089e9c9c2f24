// SPDX-License-Identifier: MIT
// What orvantis-notifyd does per request, in two steps side by side: reading and checking
// the program's form and rendering its mail, and keeping the mail in the spool (written,
// flushed to disk, renamed).
#include "MailSpool.h"
#include "NotifyRequest.h"
#include "PriceMail.h"
#include "httpd/MultipartForm.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

std::string ProgramForm() {
    const char* parts[][2] = {{"type", "gold"},
                              {"email", "user@example.com"},
                              {"last", "1650.00"},
                              {"new", "1662.50"},
                              {"chg", "12.50"}};
    std::string body;
    for (const auto& part : parts) {
        body += std::string("-----------------------------7da138124d076e\r\n"
                            "Content-Disposition: form-data; name=\"") +
                part[0] + "\"\r\n\r\n" + part[1] + "\r\n";
    }
    return body + "-----------------------------7da138124d076e--\r\n";
}

void BM_ReadFormAndRenderMail(benchmark::State& state) {
    const std::string body = ProgramForm();
    const std::string boundary =
        MultipartForm::Boundary(
            "multipart/form-data; boundary=---------------------------7da138124d076e")
            .value();
    const auto received = std::chrono::system_clock::now();
    for (auto _ : state) {
        std::vector<FormField> fields;
        NotifyRequest request;
        std::string error;
        if (!MultipartForm::Parse(body, boundary, fields, error) ||
            !NotifyRequest::FromFields(fields, request, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
        benchmark::DoNotOptimize(PriceMail::Render(
            Alert::FromRequest(request, "01796640406413348-0123456789abcdef0123456789abcdef",
                               received),
            "orvantis@example.org"));
    }
}
BENCHMARK(BM_ReadFormAndRenderMail);

void BM_KeepMailInSpool(benchmark::State& state) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "orvantis-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    MailSpool spool(pattern + "/spool");
    std::string error;
    spool.Open(error);
    const SpooledMail mail{"user@example.com", std::string(520, 'x'), {}};
    for (auto _ : state) {
        if (!spool.Store(spool.NewName(), mail, error)) {
            state.SkipWithError(error.c_str());
            break;
        }
    }
    std::filesystem::remove_all(pattern);
}
BENCHMARK(BM_KeepMailInSpool)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
