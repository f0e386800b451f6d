// Calls ChooseImageFile the way the uploaders' Load buttons do and prints
// what came back, so that the end-to-end tests can work the "Open" dialog:
//   choose_image_file_check.exe hex|bin [SIZE]
//     ->  "result=N too-long=N path=TEXT"
// SIZE (default: the uploaders' buffer size) lets a test see a name refused
// for not fitting, which no name that the system can open does at full size.
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/choose_image_file.h"

int main(int argc, char** argv) {
    int kind = (argc > 1 && std::strcmp(argv[1], "hex") == 0) ? kImageKindHex : kImageKindBin;
    int size = kImagePathSize;
    if (argc > 2) size = std::atoi(argv[2]);
    if (size < 16 || size > kImagePathSize) size = kImagePathSize;
    char path[kImagePathSize];
    std::strcpy(path, "left over");
    int result = ChooseImageFile(path, size, kind);
    std::printf("result=%d too-long=%d path=%s\n", result != 0 ? 1 : 0, result ? 0 : ChosenImagePathTooLong(), path);
    return 0;
}
