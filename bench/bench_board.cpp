#include "bench/bench_board.h"

#include <chrono>
#include <cstdlib>

#include "bench/worker_events.h"

namespace {

double Now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void TakeEvent(BenchBoard* b, const std::string& line, const std::function<void(const std::string&)>& told) {
    std::vector<std::string> f = WorkerEventFields(line);
    const std::string& kind = f[0];
    if (kind == "phase" && f.size() >= 2) {
        b->phase = f[1];
        b->percent = 0;
        b->shownTenth = 0;
    } else if (kind == "versions" && f.size() >= 2) {
        b->versions = f[1];
    } else if (kind == "found" && f.size() >= 2) {
        b->found = f[1];
    } else if (kind == "found_short" && f.size() >= 2) {
        b->foundShort = f[1];
    } else if (kind == "advice" && f.size() >= 2) {
        b->advice = f[1];
    } else if (kind == "percent" && f.size() >= 2) {
        b->percent = std::atoi(f[1].c_str());
    } else if (kind == "result" && f.size() >= 5) {
        b->result = std::atoi(f[1].c_str());
        b->reported = std::atoi(f[2].c_str());
        b->bytes = std::atoll(f[3].c_str());
        b->message = f[4];
        if (f.size() >= 6) b->runAdvice = f[5];
    } else {
        return;
    }
    told(kind);
}

void Drain(BenchBoard* b, const std::function<void(const std::string&)>& told) {
    BenchReadOutput(&b->process, &b->pending);
    size_t end;
    while ((end = b->pending.find('\n')) != std::string::npos) {
        std::string line = b->pending.substr(0, end);
        b->pending.erase(0, end + 1);
        TakeEvent(b, line, told);
    }
}

// A result the worker reported stands whatever happened to it after that:
// a board that was programmed stays programmed.
void Ended(BenchBoard* b, int code) {
    b->processExit = code;
    b->exit = b->reported >= 0 ? b->reported : code;
    b->seconds = Now() - b->started;
    b->phase = "end";
}

}  // namespace

int BenchBoardStart(BenchBoard* b, const std::vector<std::string>& args, const std::string& input) {
    b->phase = "start";
    b->percent = b->shownTenth = 0;
    b->result = 0;
    b->reported = -1;
    b->bytes = 0;
    b->exit = b->processExit = -1;
    b->versions.clear();
    b->found.clear();
    b->foundShort.clear();
    b->advice.clear();
    b->message.clear();
    b->runAdvice.clear();
    b->pending.clear();
    b->started = Now();
    b->seconds = 0;
    if (BenchStart(args, input, &b->process)) return 1;
    b->message = "Error: Cannot start the worker process !";
    return 0;
}

int BenchBoardFollow(BenchBoard* b, const std::function<void(const std::string& kind)>& told) {
    if (b->phase == "end") return 0;
    Drain(b, told);
    int code = 0;
    if (!BenchEnded(&b->process, &code)) return 1;
    Drain(b, told);
    Ended(b, code);
    return 0;
}

void BenchBoardKill(BenchBoard* b, int code) {
    BenchKill(&b->process);
    int reaped = 0;
    BenchEnded(&b->process, &reaped);
    Ended(b, code);
}
