// Whether an update writes all of a T62 image. The update's rows follow from
// the image's byte count, not from its addresses (the vector rows, and whole
// erase units from 0xC00 for every 2048 bytes), so an image whose data lie
// higher (a table placed high, a gap) would be written in part and still
// verify. The front ends refuse such an image before anything is sent.
#pragma once
#include <cstddef>
#include <cstdint>

struct T62ImageFit {
    int32_t lastRow;        // target address of the last application row an update writes
    int32_t beyond;         // target address of the first data past lastRow's end; -1: none
    int32_t loaderData;     // target address of the first data in the loader's own rows
                            // (0x200-0xBFF), which no update writes; -1: none
};

// Looks at the image the last LoadHexImage stored (imageLength bytes).
void T62CheckImageFit(int32_t imageLength, T62ImageFit* fit);

// "Error: Data at %05x lies beyond row %05x !", for an image with data
// beyond its rows, formatted into text; null when the update writes it all.
const char* T62ImageFitRefusal(int32_t imageLength, char* text, size_t size);
