#include "cli/bench_image.h"

#include <cstdio>
#include <cstring>

#include "cli/worker_run.h"
#include "core/app_state.h"
#include "zq3/keyer_upload.h"

namespace {

// The first line: what follows, and the load's results.
const char* const kHexHead = "ridorez image hex %d\n";
const char* const kKeyerHead = "ridorez image zq3 %d %d %d\n";

}  // namespace

std::string PackLoadedImage(const std::string& target) {
    char head[96];
    if (target == "zq3") {
        std::snprintf(head, sizeof head, kKeyerHead, static_cast<int>(AppState.keyerRecordCount),
                      static_cast<int>(AppState.keyerImageVersion), static_cast<int>(AppState.keyerImageVariant));
        return head + std::string(reinterpret_cast<const char*>(AppState.keyerImage), kKeyerImageSize);
    }
    std::snprintf(head, sizeof head, kHexHead, static_cast<int>(AppState.hexImageLength));
    return head + std::string(reinterpret_cast<const char*>(AppState.hexImage), kImageBufferSize);
}

int UnpackLoadedImage(const std::string& target, const std::string& packed, CliReport* report) {
    size_t end = packed.find('\n');
    if (end == std::string::npos) return 0;
    std::string head = packed.substr(0, end + 1);
    const char* body = packed.data() + end + 1;
    size_t size = packed.size() - end - 1;
    int a = 0, b = 0, c = 0;
    if (target == "zq3") {
        if (std::sscanf(head.c_str(), kKeyerHead, &a, &b, &c) != 3 || size != kKeyerImageSize || a < 1) return 0;
        AppState.keyerImage = KeyerImageStore();
        std::memcpy(AppState.keyerImage, body, size);
        AppState.keyerRecordCount = a;
        AppState.keyerImageVersion = b;
        AppState.keyerImageVariant = c;
        report->bytes = 16LL * KeyerUploadFrames(AppState.keyerImage);
        return 1;
    }
    if (std::sscanf(head.c_str(), kHexHead, &a) != 1 || size != kImageBufferSize || a < 1) return 0;
    AppState.hexImage = HexImageStore();
    std::memcpy(AppState.hexImage, body, size);
    AppState.hexImageLength = a;
    report->bytes = a;
    return 1;
}
