// bench_probe.h -- what the benchmark programs report about themselves.
//
// Each report is one line on stderr, "bench: <key> <value>", for bench/run.py
// to read. Times are CLOCK_MONOTONIC seconds, which the driver shares, so it
// can measure from the moment it started a program.
#ifndef BENCH_PROBE_H
#define BENCH_PROBE_H

#include <map>
#include <string>

// CLOCK_MONOTONIC in seconds.
double benchNow();

// Writes "bench: key value" on stderr in one write.
void benchReport(const char *key, const std::string &value);
void benchReport(const char *key, double value);

// Nanoseconds of CPU each thread of this process has run so far, by thread
// name (threads sharing a name are added up), from /proc/self/task.
std::map<std::string, double> benchThreadCpu();

// Reports, per thread name, the share of one core each used between the
// two samples, as "thread-share <name> <share>".
void benchReportThreadShares(const std::map<std::string, double> &before,
                             const std::map<std::string, double> &after, double seconds);

// Reports this process's peak resident memory in MiB as "peak-rss-mib".
void benchReportPeakRss();

#endif
