// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>

// What a quote may be.
struct QuoteLimits {
    double minPrice = 1.0;
    double maxPrice = 1000000.0;
    double maxJumpPercent = 5.0; // from the last accepted quote, before a second look
};

// Decides which quotes reach the chart. A quote must be a finite number within the
// limits. One that moves more than maxJumpPercent from the last accepted quote is held,
// and accepted only when the next quote lies within maxJumpPercent of it: a single
// garbled answer, or a feed flapping between two prices, never reaches the chart. With
// no accepted quote yet, the first one is held the same way.
class QuoteGate final {
public:
    enum class Verdict { Accepted, Held, Rejected };
    struct Outcome {
        Verdict verdict = Verdict::Rejected;
        std::string why; // for the log; for an acceptance only when it confirmed a move
    };

    explicit QuoteGate(const QuoteLimits& limits) : m_limits(limits) {}

    // The last quote accepted before a restart.
    void SetReference(double price) { m_reference = price; }
    Outcome Check(double quote);

private:
    bool WithinJump(double from, double to) const;

    const QuoteLimits m_limits;
    std::optional<double> m_reference; // the last accepted quote
    std::optional<double> m_held;      // waiting for the next quote to confirm it
};
