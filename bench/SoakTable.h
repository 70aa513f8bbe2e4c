#pragma once

#include "SoakJudge.h"
#include "SoakPlan.h"

#include <array>
#include <cstdio>

namespace pexo::soak {

// The tally of a soak, one row per fault.
class SoakTable {
public:
    void add(const RunPlan& plan, const Observation& o, const Judgement& j);
    bool clean() const;
    void print(std::FILE* out) const;

private:
    struct Row {
        int runs = 0;
        int wrong = 0;
        int late = 0;
        int hangs = 0;
        int leaks = 0;
        // The run that came nearest its bound (hangs aside).
        Ms slowest{0};
        Ms slowestBound{0};
    };
    static void printRow(std::FILE* out, std::string_view name, const Row& row);

    std::array<Row, kFaultCount> rows_{};
};

} // namespace pexo::soak
