#pragma once

// Keeps what each benchmark measured, by its function name, so that main can
// print ratios against the baseline measured in the same run.

#include <benchmark/benchmark.h>
#include <map>
#include <string>
#include <vector>

class RunRecorder : public benchmark::ConsoleReporter
{
public:
    struct Figures
    {
        double bytesPerSecond = 0; // of the last run that counted bytes
        double meanRealTime = 0;   // of the "mean" aggregate, in the benchmark's unit
    };

    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            if (run.error_occurred)
                continue;
            Figures& figures = figures_[run.run_name.function_name];
            if (run.run_type == Run::RT_Aggregate) {
                if (run.aggregate_name == "mean")
                    figures.meanRealTime = run.GetAdjustedRealTime();
                continue;
            }
            const auto rate = run.counters.find("bytes_per_second");
            if (rate != run.counters.end())
                figures.bytesPerSecond = rate->second.value;
        }
        ConsoleReporter::ReportRuns(runs);
    }

    double Rate(const std::string& name) const { return Of(name).bytesPerSecond; }
    double Time(const std::string& name) const { return Of(name).meanRealTime; }

private:
    Figures Of(const std::string& name) const
    {
        const auto it = figures_.find(name);
        return it == figures_.end() ? Figures{} : it->second;
    }

    std::map<std::string, Figures> figures_;
};
