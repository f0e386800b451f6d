// latency_predict TARGET IMAGE [MS...]: the seconds an update of IMAGE takes
// on the line, as the program reckons it (uploader/target_table.h): on a plain
// wire, then behind an adapter with each latency timer given. One figure a
// line: "wire 7.512", "16 11.204". For tools/latency/check.py.
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "uploader/target_table.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: latency_predict t62|psoc|zq3 IMAGE [MS...]\n");
        return 2;
    }
    const TargetRow* row = TargetNamed(argv[1]);
    if (row == nullptr) {
        std::fprintf(stderr, "latency_predict: no target %s\n", argv[1]);
        return 2;
    }
    std::vector<unsigned char> store(row->storeSize);
    row->attachStore(store.data());
    if (row->load(argv[2]) <= 0) {
        std::fprintf(stderr, "latency_predict: %s did not load\n", argv[2]);
        return 1;
    }
    std::printf("wire %.3f\n", TargetRunSeconds(*row, 0));
    for (int i = 3; i < argc; ++i) {
        int ms = std::atoi(argv[i]);
        std::printf("%d %.3f\n", ms, TargetRunSeconds(*row, ms));
    }
    row->attachStore(nullptr);
    return 0;
}
