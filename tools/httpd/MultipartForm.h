// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct FormField {
    std::string name;
    std::string value;
};

// Reads multipart/form-data as browsers, command-line tools and the program itself write
// it: quoted or bare boundary and names, CR LF or bare LF line ends, any part order,
// extra part headers (Content-Type with a charset and the like), a preamble and an
// epilogue. Values are returned byte for byte; what they may hold is the caller's check.
class MultipartForm final {
public:
    // More parts than any client of the service sends.
    static constexpr std::size_t MAX_FIELDS = 32;

    // The boundary of a "multipart/form-data" content type (in any case, with any other
    // parameters); nullopt for another type or without a usable boundary.
    static std::optional<std::string> Boundary(std::string_view contentType);

    // Splits a whole body into its fields, in the order sent. False, with a short reason
    // for the client in error, when the body is not one complete form.
    static bool Parse(std::string_view body, std::string_view boundary,
                      std::vector<FormField>& fields, std::string& error);
};
