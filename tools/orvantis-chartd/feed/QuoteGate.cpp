// SPDX-License-Identifier: MIT
#include "feed/QuoteGate.h"

#include "feed/QuoteNumber.h"

#include <cmath>
#include <cstdio>

namespace {

std::string Percent(double from, double to) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f %%", std::abs(to - from) / from * 100.0);
    return text;
}

} // namespace

bool QuoteGate::WithinJump(double from, double to) const {
    return std::abs(to - from) <= from * m_limits.maxJumpPercent / 100.0;
}

QuoteGate::Outcome QuoteGate::Check(double quote) {
    if (!std::isfinite(quote) || quote <= 0.0) {
        return {Verdict::Rejected, QuoteText(quote) + " is not a finite positive number"};
    }
    if (quote < m_limits.minPrice || quote > m_limits.maxPrice) {
        return {Verdict::Rejected, QuoteText(quote) + " is outside " +
                                       QuoteText(m_limits.minPrice) + " to " +
                                       QuoteText(m_limits.maxPrice)};
    }
    if (m_reference && WithinJump(*m_reference, quote)) {
        m_reference = quote;
        m_held.reset();
        return {Verdict::Accepted, {}};
    }
    if (m_held && WithinJump(*m_held, quote)) {
        std::string why = QuoteText(quote) + " confirms the held " + QuoteText(*m_held);
        if (m_reference) {
            why +=
                ", a move of " + Percent(*m_reference, quote) + " from " + QuoteText(*m_reference);
        }
        m_reference = quote;
        m_held.reset();
        return {Verdict::Accepted, why};
    }
    m_held = quote;
    if (!m_reference) {
        return {Verdict::Held,
                QuoteText(quote) + " is the first quote; the next one must confirm it"};
    }
    return {Verdict::Held, QuoteText(quote) + " moves " + Percent(*m_reference, quote) + " from " +
                               QuoteText(*m_reference) + "; the next quote must confirm it"};
}
