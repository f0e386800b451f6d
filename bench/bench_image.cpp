#include "bench/bench_image.h"

#include <cstdio>
#include <cstring>

namespace {

// The first line: what follows, and what the load left besides the store.
std::string Head(const TargetRow& row, const int32_t facts[3]) {
    char head[96];
    std::snprintf(head, sizeof head, "ridorez image %s %d %d %d\n", row.key, static_cast<int>(facts[0]),
                  static_cast<int>(facts[1]), static_cast<int>(facts[2]));
    return head;
}

}  // namespace

std::string PackLoadedImage(const std::string& target) {
    const TargetRow& row = *TargetNamed(target);
    int32_t facts[3];
    row.loadFacts(facts);
    return Head(row, facts) + std::string(static_cast<const char*>(row.store()), row.storeSize);
}

int UnpackLoadedImage(const TargetRow& row, const std::string& packed) {
    size_t end = packed.find('\n');
    if (end == std::string::npos) return 0;
    std::string head = packed.substr(0, end + 1);
    int a = 0, b = 0, c = 0;
    char key[16];
    if (std::sscanf(head.c_str(), "ridorez image %15s %d %d %d", key, &a, &b, &c) != 4) return 0;
    const int32_t facts[3] = {a, b, c};
    // The loads that reach a bench found something: a length, or records.
    if (head != Head(row, facts) || packed.size() - end - 1 != row.storeSize || a < 1) return 0;
    std::memcpy(row.store(), packed.data() + end + 1, row.storeSize);
    row.setLoadFacts(facts);
    return 1;
}
