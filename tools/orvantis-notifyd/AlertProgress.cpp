// SPDX-License-Identifier: MIT
#include "AlertProgress.h"

#include "RouteTable.h"
#include "httpd/ServiceLog.h"
#include "platform/common/JsonString.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace {

using State = AlertProgress::State;

constexpr std::string_view RECEIVED_LINE = "received ";
constexpr std::size_t MAX_REASON = 300;

constexpr std::array<std::pair<State, std::string_view>, 5> STATE_NAMES = {
    {{State::Queued, "queued"},
     {State::Retrying, "retrying"},
     {State::Delivered, "delivered"},
     {State::Failed, "failed"},
     {State::Skipped, "skipped"}}};

std::string_view NameOf(State state) {
    return std::find_if(STATE_NAMES.begin(), STATE_NAMES.end(),
                        [state](const auto& entry) { return entry.first == state; })
        ->second;
}

std::optional<State> StateNamed(std::string_view name) {
    const auto entry = std::find_if(STATE_NAMES.begin(), STATE_NAMES.end(),
                                    [name](const auto& e) { return e.second == name; });
    return entry == STATE_NAMES.end() ? std::nullopt : std::optional<State>(entry->first);
}

long long Seconds(AlertProgress::Time time) {
    return std::chrono::duration_cast<std::chrono::seconds>(time.time_since_epoch()).count();
}

bool ParseNumber(std::string_view text, long long high, long long& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size() && value >= 0 &&
           value <= high;
}

// Splits off the text up to the next blank.
std::string_view Token(std::string_view& line) {
    const std::size_t blank = std::min(line.find(' '), line.size());
    const std::string_view token = line.substr(0, blank);
    line.remove_prefix(std::min(blank + 1, line.size()));
    return token;
}

// "<state> <attempts> <at> <channel> <reason>"
bool ParseStep(std::string_view line, AlertProgress::Step& step) {
    const std::optional<State> state = StateNamed(Token(line));
    long long attempts = 0;
    long long at = 0;
    if (!state || !ParseNumber(Token(line), 1000000000, attempts) ||
        !ParseNumber(Token(line), 99999999999LL, at)) {
        return false;
    }
    step.state = *state;
    step.attempts = static_cast<int>(attempts);
    step.at = AlertProgress::Time(std::chrono::seconds(at));
    step.channel = std::string(Token(line));
    step.reason = std::string(line);
    Channel channel;
    std::string ignored;
    return Channel::Parse(step.channel, channel, ignored) && channel.Text() == step.channel;
}

} // namespace

AlertProgress::AlertProgress(const Route& route, Time received) : m_received(received) {
    Follow(route);
}

void AlertProgress::Follow(const Route& route) {
    if (Delivered()) {
        return;
    }
    std::vector<Step> steps;
    for (const Channel& channel : route) {
        const auto known = std::find_if(m_steps.begin(), m_steps.end(), [&channel](const Step& s) {
            return s.channel == channel.Text();
        });
        steps.push_back(known != m_steps.end() ? *known
                                               : Step{channel.Text(), State::Queued, 0, {}, {}});
    }
    m_steps = std::move(steps);
}

bool AlertProgress::Delivered() const {
    return std::any_of(m_steps.begin(), m_steps.end(),
                       [](const Step& step) { return step.state == State::Delivered; });
}

std::optional<std::size_t> AlertProgress::Current() const {
    if (Delivered()) {
        return std::nullopt;
    }
    const auto open = std::find_if(m_steps.begin(), m_steps.end(), [](const Step& step) {
        return step.state == State::Queued || step.state == State::Retrying;
    });
    return open == m_steps.end() ? std::nullopt
                                 : std::optional<std::size_t>(open - m_steps.begin());
}

AlertProgress::Time AlertProgress::WaitingSince(std::size_t index) const {
    return index == 0 ? m_received : m_steps.at(index - 1).at;
}

void AlertProgress::Record(std::size_t index, State state, Time now, std::string_view reason,
                           bool attempted) {
    Step& step = m_steps.at(index);
    step.state = state;
    step.attempts += attempted ? 1 : 0;
    step.at = now;
    // One line in the file: no line break of a server's answer gets in.
    step.reason = std::string(reason.substr(0, MAX_REASON));
    std::replace_if(
        step.reason.begin(), step.reason.end(),
        [](char ch) { return static_cast<unsigned char>(ch) < 0x20 || ch == 0x7F; }, ' ');
    if (state == State::Delivered) {
        for (std::size_t i = index + 1; i < m_steps.size(); ++i) {
            m_steps[i].state = State::Skipped;
        }
    }
}

void AlertProgress::FailRemaining(Time now, std::string_view reason) {
    for (std::size_t i = 0; i < m_steps.size(); ++i) {
        if (m_steps[i].state == State::Queued || m_steps[i].state == State::Retrying) {
            Record(i, State::Failed, now, reason, false);
        }
    }
}

std::string AlertProgress::Text() const {
    std::string text = std::string(RECEIVED_LINE) + std::to_string(Seconds(m_received)) + "\n";
    for (const Step& step : m_steps) {
        text += std::string(NameOf(step.state)) + " " + std::to_string(step.attempts) + " " +
                std::to_string(Seconds(step.at)) + " " + step.channel + " " + step.reason + "\n";
    }
    return text;
}

bool AlertProgress::FromText(std::string_view text, AlertProgress& progress) {
    const std::size_t lineEnd = text.find('\n');
    long long received = 0;
    if (!text.starts_with(RECEIVED_LINE) || lineEnd == std::string_view::npos ||
        !ParseNumber(text.substr(RECEIVED_LINE.size(), lineEnd - RECEIVED_LINE.size()),
                     99999999999LL, received)) {
        return false;
    }
    progress = AlertProgress();
    progress.m_received = Time(std::chrono::seconds(received));
    for (std::size_t pos = lineEnd + 1; pos < text.size();) {
        const std::size_t end = text.find('\n', pos);
        Step step;
        if (end == std::string_view::npos || progress.m_steps.size() == RouteTable::MAX_CHANNELS ||
            !ParseStep(text.substr(pos, end - pos), step)) {
            return false;
        }
        progress.m_steps.push_back(std::move(step));
        pos = end + 1;
    }
    return true;
}

std::string AlertProgress::Json(const std::string& id) const {
    const bool failed = !m_steps.empty() && !Current() && !Delivered();
    std::string json = "{\"id\":" + JsonString(id, JsonNonAscii::Question) +
                       ",\"received\":" + JsonString(UtcTime(m_received), JsonNonAscii::Question) +
                       ",\"state\":\"" +
                       (Delivered() ? "delivered"
                        : failed    ? "failed"
                                    : "pending") +
                       "\",\"channels\":[";
    for (const Step& step : m_steps) {
        Channel channel;
        std::string ignored;
        Channel::Parse(step.channel, channel, ignored);
        json += std::string(&step == m_steps.data() ? "" : ",") + "{\"channel\":\"" +
                channel.KindName() + "\",\"state\":\"" + std::string(NameOf(step.state)) +
                "\",\"attempts\":" + std::to_string(step.attempts);
        if (step.at != Time{}) {
            json += ",\"at\":" + JsonString(UtcTime(step.at), JsonNonAscii::Question);
        }
        if (!step.reason.empty()) {
            json += ",\"detail\":" + JsonString(step.reason, JsonNonAscii::Question);
        }
        json += "}";
    }
    return json + "]}\n";
}
