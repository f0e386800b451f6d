// Calls ChooseImageFile the way the uploaders' Load buttons do and prints
// what came back, so that the end-to-end tests can work the "Open" dialog:
//   choose_image_file_check.exe hex|bin   ->  "result=N path=TEXT"
#include <windows.h>
#include <cstdio>
#include <cstring>

#include "app/choose_image_file.h"

int main(int argc, char** argv) {
    int kind = (argc > 1 && std::strcmp(argv[1], "hex") == 0) ? kImageKindHex : kImageKindBin;
    char path[128];
    std::strcpy(path, "left over");
    int result = ChooseImageFile(path, sizeof path, kind);
    std::printf("result=%d path=%s\n", result != 0 ? 1 : 0, path);
    return 0;
}
