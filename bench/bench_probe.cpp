// bench_probe.cpp -- see bench_probe.h.
#include "bench_probe.h"

#include <cstdio>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <sys/resource.h>
#include <unistd.h>

double benchNow()
{
    struct timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return (double)ts.tv_sec + (double)ts.tv_nsec * 1e-9;
}

void benchReport(const char *key, const std::string &value)
{
    std::string line = std::string("bench: ") + key + " " + value + "\n";
    if (write(2, line.data(), line.size()) < 0) {
    }
}

void benchReport(const char *key, double value)
{
    char text[64];
    snprintf(text, sizeof text, "%.9g", value);
    benchReport(key, std::string(text));
}

std::map<std::string, double> benchThreadCpu()
{
    std::map<std::string, double> cpu;
    DIR *dir = opendir("/proc/self/task");
    if (!dir)
        return cpu;
    while (struct dirent *entry = readdir(dir)) {
        if (entry->d_name[0] == '.')
            continue;
        std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::string name;
        double ns = 0;
        std::ifstream comm(task + "/comm");
        std::ifstream sched(task + "/schedstat");    // first field: ns spent running
        if (!std::getline(comm, name) || !(sched >> ns))
            continue;
        // llvmpipe-0, llvmpipe-1, ...: numbered workers count as one kind.
        size_t dash = name.find_last_of('-');
        if (dash != std::string::npos && dash + 1 < name.size()
            && name.find_first_not_of("0123456789", dash + 1) == std::string::npos)
            name.erase(dash);
        cpu[name] += ns;
    }
    closedir(dir);
    return cpu;
}

void benchReportThreadShares(const std::map<std::string, double> &before,
                             const std::map<std::string, double> &after, double seconds)
{
    for (const auto &t : after) {
        auto b = before.find(t.first);
        double ns = t.second - (b == before.end() ? 0 : b->second);
        char value[160];
        snprintf(value, sizeof value, "%s %.4f", t.first.c_str(), ns * 1e-9 / seconds);
        benchReport("thread-share", std::string(value));
    }
}

void benchReportPeakRss()
{
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    benchReport("peak-rss-mib", usage.ru_maxrss / 1024.0);
}
