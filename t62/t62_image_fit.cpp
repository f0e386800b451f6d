#include "t62/t62_image_fit.h"

#include <cstdio>

#include "core/app_state.h"
#include "image/hex_image.h"
#include "t62/t62_protocol.h"
#include "t62/t62_readback.h"

namespace {
// The loader's rows, between the vector rows and the application.
const int32_t kLoaderStart = 0x200;
}  // namespace

void T62CheckImageFit(int32_t imageLength, T62ImageFit* fit) {
    int32_t rows = T62ApplicationRows(imageLength);
    int32_t end = kT62ApplicationStart + rows * kT62RowAddresses;
    fit->lastRow = end - kT62RowAddresses;
    int32_t beyond = HexImageFirstStored(2 * end, kImageBufferSize);
    fit->beyond = beyond < 0 ? -1 : beyond / 2;
    int32_t loader = HexImageFirstStored(2 * kLoaderStart, 2 * kT62ApplicationStart);
    fit->loaderData = loader < 0 ? -1 : loader / 2;
}

const char* T62ImageFitRefusal(int32_t imageLength, char* text, size_t size) {
    T62ImageFit fit;
    T62CheckImageFit(imageLength, &fit);
    if (fit.beyond < 0) return nullptr;
    std::snprintf(text, size, "Error: Data at %05x lies beyond row %05x !", static_cast<unsigned>(fit.beyond),
                  static_cast<unsigned>(fit.lastRow));
    return text;
}
