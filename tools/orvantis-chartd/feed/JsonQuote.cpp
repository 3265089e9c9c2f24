// SPDX-License-Identifier: MIT
#include "feed/JsonQuote.h"

#include "feed/QuoteNumber.h"
#include "httpd/ServiceLog.h"

#include <nlohmann/json.hpp>

#include <deque>

namespace {

using Json = nlohmann::json;

// Follows the path of every value and keeps what stands at the pointer.
class PointerSax final : public nlohmann::json_sax<Json> {
public:
    explicit PointerSax(const std::vector<std::string>& tokens) : m_tokens(tokens) {}

    std::size_t found = 0;
    std::optional<double> number;
    std::optional<std::string> text; // a string at the pointer
    const char* kind = "";           // what else stood there
    std::string error;               // why the reading stopped

    bool null() override { return Scalar("null"); }
    bool boolean(bool) override { return Scalar("a boolean"); }
    bool number_integer(number_integer_t value) override {
        return Number(static_cast<double>(value));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Number(static_cast<double>(value));
    }
    bool number_float(number_float_t value, const string_t&) override { return Number(value); }
    bool string(string_t& value) override {
        if (AtPointer()) {
            ++found;
            text = value;
        }
        return Done();
    }
    bool binary(binary_t&) override { return Scalar("binary data"); }
    bool start_object(std::size_t) override { return Open(false, "an object"); }
    bool key(string_t& name) override {
        m_path.back().key = name;
        return true;
    }
    bool end_object() override { return Close(); }
    bool start_array(std::size_t) override { return Open(true, "an array"); }
    bool end_array() override { return Close(); }
    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& exception) override {
        constexpr int NUMBER_OVERFLOW = 406;
        error = exception.id == NUMBER_OVERFLOW ? "a number beyond any double" : "not JSON";
        error += " (at byte " + std::to_string(position) + ")";
        return false;
    }

private:
    struct Step {
        bool array = false;
        std::size_t index = 0;
        std::string key;
    };

    bool AtPointer() const {
        if (m_path.size() != m_tokens.size()) {
            return false;
        }
        for (std::size_t i = 0; i < m_path.size(); ++i) {
            const Step& step = m_path[i];
            if ((step.array ? std::to_string(step.index) : step.key) != m_tokens[i]) {
                return false;
            }
        }
        return true;
    }
    bool Done() {
        if (!m_path.empty() && m_path.back().array) {
            ++m_path.back().index;
        }
        return true;
    }
    bool Scalar(const char* what) {
        if (AtPointer()) {
            ++found;
            kind = what;
        }
        return Done();
    }
    bool Number(double value) {
        if (AtPointer()) {
            ++found;
            number = value;
            kind = "a number";
        }
        return Done();
    }
    bool Open(bool array, const char* what) {
        if (AtPointer()) {
            ++found;
            kind = what;
        }
        if (m_path.size() >= JsonQuote::MAX_DEPTH) {
            error = "nested deeper than " + std::to_string(JsonQuote::MAX_DEPTH) + " levels";
            return false;
        }
        m_path.push_back({array, 0, {}});
        return true;
    }
    bool Close() {
        m_path.pop_back();
        return Done();
    }

    const std::vector<std::string>& m_tokens;
    std::deque<Step> m_path;
};

} // namespace

bool JsonQuote::ValidPointer(std::string_view pointer) {
    try {
        Json::json_pointer parsed{std::string(pointer)};
        return true;
    } catch (const Json::exception&) {
        return false;
    }
}

JsonQuote::JsonQuote(std::string_view pointer) : m_pointer(pointer) {
    Json::json_pointer parsed{m_pointer};
    std::deque<std::string> tokens;
    while (!parsed.empty()) {
        tokens.push_front(parsed.back());
        parsed.pop_back();
    }
    m_tokens.assign(tokens.begin(), tokens.end());
}

std::optional<double> JsonQuote::Read(std::string_view body, std::string& error) const {
    PointerSax sax(m_tokens);
    bool complete = false;
    try {
        complete = Json::sax_parse(body.begin(), body.end(), &sax);
    } catch (const Json::exception&) {
        sax.error = "not JSON";
    }
    const std::string where = m_pointer.empty() ? "the document" : "the value at " + m_pointer;
    if (!complete) {
        error = sax.error.empty() ? "not JSON" : sax.error;
    } else if (sax.found == 0) {
        error = "no value at " + m_pointer;
    } else if (sax.found > 1) {
        error = m_pointer + " names more than one value"; // a key given twice
    } else if (sax.number) {
        return sax.number;
    } else if (sax.text) {
        if (const auto parsed = ParseQuoteNumber(*sax.text)) {
            return parsed;
        }
        error = where + " is not a number: \"" + Printable(*sax.text) + "\"";
    } else {
        error = where + " is " + sax.kind + ", not a number";
    }
    return std::nullopt;
}
