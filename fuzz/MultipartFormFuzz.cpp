// SPDX-License-Identifier: MIT
// Any bytes as a form post: its first line is the content type, the rest the body. The
// reader must neither crash nor hang, returns no more fields than its limit, and every
// name and value it returns is a piece of the body.
#include "httpd/MultipartForm.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t end = input.find('\n');
    if (end == std::string_view::npos) {
        return 0;
    }
    const std::optional<std::string> boundary = MultipartForm::Boundary(input.substr(0, end));
    if (!boundary) {
        return 0;
    }
    const std::string_view body = input.substr(end + 1);
    std::vector<FormField> fields;
    std::string error;
    if (MultipartForm::Parse(body, *boundary, fields, error)) {
        if (fields.size() > MultipartForm::MAX_FIELDS) {
            std::abort();
        }
        for (const FormField& field : fields) {
            if (field.value.size() > body.size() || field.name.size() > body.size()) {
                std::abort();
            }
        }
    } else if (error.empty()) {
        std::abort();
    }
    return 0;
}
