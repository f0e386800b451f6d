// The system "Open" dialog for a firmware image file.
#include <windows.h>
#include <commdlg.h>
#include <cstring>

#include "app/choose_image_file.h"

namespace {

enum { kFilterBufferSize = 64 };

// Turns "a,b,c,d" into the dialog's filter list "a\0b\0c\0d\0\0" in place;
// buffer holds the comma text and room for the extra terminator.
void CommasToFilterList(char* buffer) {
    size_t i = 0;
    for (; buffer[i] != '\0'; i++)
        if (buffer[i] == ',') buffer[i] = '\0';
    buffer[i + 1] = '\0';
}

void CopyName(char* path, int size, const char* name) {
    if (size <= 0) return;
    std::strncpy(path, name, static_cast<size_t>(size) - 1);
    path[size - 1] = '\0';
}

}  // namespace

int ChooseImageFile(char* path, int size, int kind) {
    char filters[kFilterBufferSize];
    OPENFILENAMEA request;
    ZeroMemory(&request, sizeof request);
    request.lStructSize = sizeof(OPENFILENAMEA);
    request.hwndOwner = GetActiveWindow();
    request.hInstance = GetModuleHandleA(nullptr);
    request.lpstrFile = path;
    request.nMaxFile = size > 0 ? static_cast<DWORD>(size) : 0;
    request.lpstrTitle = "Open";
    request.nFilterIndex = 2;

    const char* filterText;
    if (kind == kImageKindHex) {
        request.lpstrDefExt = "hex";
        CopyName(path, size, "*.hex");
        filterText = "All files,*.*,Hex Files,*.hex,Release,release.json";
    } else {
        request.lpstrDefExt = "bin";
        CopyName(path, size, "*.bin");
        filterText = "All files,*.*,Bin Files,*.bin,Release,release.json";
    }
    // A release (release.json beside its images) in place of an image: the
    // uploader takes the release's image for this target and device.
    static_assert(sizeof("All files,*.*,Hex Files,*.hex,Release,release.json") + 1 <= kFilterBufferSize,
                  "filter list fits");
    std::strcpy(filters, filterText);
    CommasToFilterList(filters);

    request.lpstrFilter = filters;
    request.Flags = OFN_FILEMUSTEXIST;
    if (GetOpenFileNameA(&request)) return 1;
    // A name too long for the buffer leaves its needed size in the buffer's
    // first bytes: put the initial name back.
    CopyName(path, size, kind == kImageKindHex ? "*.hex" : "*.bin");
    return 0;
}

int ChosenImagePathTooLong() { return CommDlgExtendedError() == FNERR_BUFFERTOOSMALL; }
