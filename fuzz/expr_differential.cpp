// Planned expression runs against runs through the variable table (exprdiff::Differential): any
// difference is printed and stops the run. Seed corpus: any bytes; fuzz/corpus/expr_differential
// holds a few, and some that a fuzzing run kept.
#include "fuzz/expr_differential.h"
#include "fuzz/harness.h"

#include <cstdio>

int TestOneInput(const uint8_t* Data, size_t Size) {
    const std::string difference = exprdiff::Differential(Data, Size);
    if (!difference.empty()) std::fputs(difference.c_str(), stderr);
    fuzz::Check(difference.empty());
    return 0;
}
