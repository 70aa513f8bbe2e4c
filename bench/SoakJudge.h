#pragma once

#include "SoakPlan.h"
#include "SoakRun.h"

#include <string>
#include <vector>

namespace pexo::soak {

// The endings a run may have: any of `endings` with any of `results` as the result code.
struct Expectation {
    std::vector<Ending> endings;
    std::vector<std::int32_t> results;
    std::string why;

    std::string describe() const;
};

// How many leading blocks the device must hold after a successful run of the plan.
std::uint32_t blocksKept(const RunPlan& plan);

// The right endings of a run. Where the fault alone does not fix them (a hang-up: where the
// byte falls depends on how many polls the host sent), the device's record decides.
Expectation expectedEnding(const RunPlan& plan, const Observation& o);

struct Judgement {
    Expectation expected;
    bool wrong = false; // an ending outside the expectation, or a side effect that is wrong
    bool late = false;  // ended by itself, but after its bound
    bool hang = false;  // did not end within the hang limit
    bool leak = false;  // a descriptor or thread left behind
    std::vector<std::string> problems;

    bool right() const { return !wrong && !late && !hang && !leak; }
};

Judgement judge(const RunPlan& plan, const Observation& o);

std::string describeOutcome(const Observation& o);

} // namespace pexo::soak
