// native_update: one whole update by the portable core, built natively,
// against the simulator on COM4 (RIDOREZ_COM_DIR), for scripts/speed.sh.
// The same protocols and workers as RIdorez.exe with no Wine in between: the
// turn-arounds it shows on the simulator's transcript are what the simulator
// and the pseudo-terminal cost by themselves.
//
//   native_update STAMPS t62|psoc|zq3 IMAGE
//
// STAMPS gets the lines tools/speed/speed.py reads: the monotonic time and
// this process's CPU time just before the update starts ("speed-start") and
// just after its worker ends ("speed-final"). Exit code 0 when the update
// succeeded.
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "serial/serial_port.h"
#include "t62/t62_worker.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_probe.h"
#include "zq3/keyer_upload.h"

namespace {

FILE* stamps = nullptr;

void Stamp(const char* mark) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    long long us = static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
    rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    double cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec;
    cpu += (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::fprintf(stamps, "%lld line %s\n", us, mark);
    std::fprintf(stamps, "%lld cpu %s %d ridorez-native %.3f\n", us, mark, static_cast<int>(getpid()),
                 cpu * sysconf(_SC_CLK_TCK));
    std::fflush(stamps);
}

int Fail(const char* why) {
    std::fprintf(stderr, "native_update: %s\n", why);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return Fail("usage: native_update STAMPS t62|psoc|zq3 IMAGE");
    std::string target = argv[2];
    const char* image = argv[3];
    stamps = std::fopen(argv[1], "w");
    if (stamps == nullptr) return Fail("cannot write the stamps");
    std::vector<uint8_t> hex(kImageBufferSize);
    std::vector<KeyerRecord> keyer(kKeyerRecordCount);
    AppState.hexImage = hex.data();
    AppState.keyerImage = keyer.data();
    AppState.comPort = 4;

    int32_t success = 0;
    if (target == "t62" || target == "psoc") {
        bool t62 = target == "t62";
        AppState.hexImageLength = LoadHexImage(image, t62 ? T62Image : PSoCImage);
        if (AppState.hexImageLength < 1) return Fail("the image does not load");
        if (SerialOpen(4, t62 ? 115200 : 19200, 1500) != 0) return Fail("COM4 does not open");
        Stamp("speed-start");
        if (t62) {
            T62UploadWorker();
        } else {
            PsocProgramWorker();
        }
        Stamp("speed-final");
        success = t62 ? static_cast<int32_t>(kT62Success) : static_cast<int32_t>(kPsocSuccess);
        SerialClose();
    } else if (target == "zq3") {
        if (LoadKeyerImage(image) < 1) return Fail("the image does not load");
        int32_t version = 0, variant = 0;
        ReadKeyerImageVersion(AppState.keyerImage, &version, &variant);
        // The main window's probe opens the keyer channel; the update probes
        // again on it before its worker runs, as the uploader does.
        if (ProbeKeyer(nullptr) < 0) return Fail("the keyer does not answer");
        Stamp("speed-start");
        if (ProbeKeyer(nullptr) < 0 || KeyerVariantCheck(AppState.keyerIcType, variant) != nullptr)
            return Fail("the keyer does not take the image");
        KeyerUploadWorker();
        Stamp("speed-final");
        success = kKeyerSuccess;
        KeyerClose();
    } else {
        return Fail("the target is t62, psoc or zq3");
    }
    std::fclose(stamps);
    std::printf("native_update: %s result %d\n", target.c_str(), static_cast<int>(AppState.uploadResult.load()));
    return AppState.uploadResult == success ? 0 : 1;
}
