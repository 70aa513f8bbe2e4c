#include "SoakTable.h"

#include <string>

namespace pexo::soak {

void SoakTable::add(const RunPlan& plan, const Observation& o, const Judgement& j) {
    Row& row = rows_[static_cast<std::size_t>(plan.fault)];
    ++row.runs;
    row.wrong += j.wrong ? 1 : 0;
    row.late += j.late ? 1 : 0;
    row.hangs += j.hang ? 1 : 0;
    row.leaks += j.leak ? 1 : 0;
    if (j.hang || o.ending == Ending::SetupFailed)
        return;
    // Compared as fractions of the bound: elapsed / bound > slowest / slowestBound.
    if (row.slowestBound.count() == 0 ||
        o.elapsed.count() * row.slowestBound.count() > row.slowest.count() * plan.bound.count()) {
        row.slowest = o.elapsed;
        row.slowestBound = plan.bound;
    }
}

bool SoakTable::clean() const {
    for (const Row& row : rows_)
        if (row.wrong || row.late || row.hangs || row.leaks)
            return false;
    return true;
}

void SoakTable::printRow(std::FILE* out, std::string_view name, const Row& row) {
    std::string slowest = "-";
    if (row.slowestBound.count() != 0)
        slowest = std::to_string(row.slowest.count()) + " ms of " +
                  std::to_string(row.slowestBound.count()) + " ms bound";
    std::fprintf(out, "%-17.*s %6d %6d %5d %6d %6d  %s\n", static_cast<int>(name.size()),
                 name.data(), row.runs, row.wrong, row.late, row.hangs, row.leaks, slowest.c_str());
}

void SoakTable::print(std::FILE* out) const {
    std::fprintf(out, "%-17s %6s %6s %5s %6s %6s  %s\n", "fault", "runs", "wrong", "late", "hangs",
                 "leaks", "slowest end (nearest its bound)");
    Row total;
    for (std::size_t i = 0; i < kFaultCount; ++i) {
        const Row& row = rows_[i];
        if (row.runs == 0)
            continue;
        printRow(out, faultName(static_cast<Fault>(i)), row);
        total.runs += row.runs;
        total.wrong += row.wrong;
        total.late += row.late;
        total.hangs += row.hangs;
        total.leaks += row.leaks;
        if (row.slowestBound.count() != 0 &&
            (total.slowestBound.count() == 0 ||
             row.slowest.count() * total.slowestBound.count() >
                 total.slowest.count() * row.slowestBound.count())) {
            total.slowest = row.slowest;
            total.slowestBound = row.slowestBound;
        }
    }
    printRow(out, "all", total);
}

} // namespace pexo::soak
