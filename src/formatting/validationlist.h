#pragma once

#include "formatting/validation.h"

#include <algorithm>
#include <cstddef>
#include <iterator>
#include <optional>
#include <vector>

namespace Formatting {

// Every fault a check found, in document order: NDJSON reports each faulty record, JSON and
// XML their first fault as a one-element list. A plain value, safe to hand between threads.
struct ValidationList {
    Validation::State state = Validation::State::Empty;
    // Empty unless `state` is Invalid.
    std::vector<ValidationError> errors;
    // True when the collection stopped at its limit while unchecked, non-blank lines remained,
    // so more faults may follow the last one listed.
    bool stoppedEarly = false;

    static ValidationList of(const Validation &validation)
    {
        ValidationList list;
        list.state = validation.state();
        if (const ValidationError *error = validation.error())
            list.errors.push_back(*error);
        return list;
    }
    // The single-fault verdict: the first error, as the one-error checks give it.
    Validation first() const
    {
        switch (state) {
        case Validation::State::Invalid:
            return errors.empty() ? Validation::invalid({}) : Validation::invalid(errors.front());
        case Validation::State::Valid:
            return Validation::valid();
        case Validation::State::Empty:
            break;
        }
        return Validation::empty();
    }
    bool isInvalid() const { return state == Validation::State::Invalid; }
    // The 1-based lines of the faults that have one, in document order.
    std::vector<long long> lines() const
    {
        std::vector<long long> result;
        for (const ValidationError &error : errors)
            if (error.line)
                result.push_back(*error.line);
        return result;
    }
    // The first fault line after `line` (`forward`), else the last one before it, wrapping
    // around at either end; none without fault lines.
    std::optional<long long> lineFrom(long long line, bool forward) const
    {
        std::vector<long long> sorted = lines();
        if (sorted.empty())
            return std::nullopt;
        std::sort(sorted.begin(), sorted.end());
        if (forward) {
            const auto next = std::upper_bound(sorted.begin(), sorted.end(), line);
            return next == sorted.end() ? sorted.front() : *next;
        }
        const auto previous = std::lower_bound(sorted.begin(), sorted.end(), line);
        return previous == sorted.begin() ? sorted.back() : *std::prev(previous);
    }

    bool operator==(const ValidationList &) const = default;
};

} // namespace Formatting
