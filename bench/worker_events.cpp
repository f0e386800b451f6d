#include "bench/worker_events.h"

#include <cstdio>

namespace {

int eventsOn = 0;
int lastPercent = -1;

// A field holds no tab and no line break: a port's or a file's name may.
std::string Field(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    return out;
}

void Put(const std::string& line) {
    if (!eventsOn) return;
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

}  // namespace

void WorkerEventsOn(int on) { eventsOn = on; }

void WorkerEventPhase(const char* phase) {
    lastPercent = -1;
    Put(std::string("phase\t") + phase);
}

void WorkerEventText(const char* kind, const std::string& text) { Put(std::string(kind) + "\t" + Field(text)); }

void WorkerEventPercent(int percent) {
    if (percent == lastPercent) return;
    lastPercent = percent;
    Put("percent\t" + std::to_string(percent));
}

void WorkerEventResult(int result, int exit, long long bytes, const std::string& message, const std::string& advice) {
    Put("result\t" + std::to_string(result) + "\t" + std::to_string(exit) + "\t" + std::to_string(bytes) + "\t" +
        Field(message) + "\t" + Field(advice));
}

std::vector<std::string> WorkerEventFields(const std::string& line) {
    std::vector<std::string> fields(1);
    for (char c : line) {
        if (c == '\t')
            fields.emplace_back();
        else if (c != '\r')
            fields.back().push_back(c);
    }
    return fields;
}
