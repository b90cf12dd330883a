#pragma once

// The work of one slice, run as a child process of the evaluator so that its CPU
// time, memory and place in the process tree are real.
namespace vxr::sim {

struct BurnOrder {
    int milliseconds = 1000;
    double megabytes = 16;
    int threads = 1;
    double load = 0.7; // share of one core per thread
};

// Holds the memory and burns CPU for the duration, then prints one line
// "slice-result cpuMs=<n> peakBytes=<n>" and returns 0.
int runBurn(const BurnOrder& order);

} // namespace vxr::sim
