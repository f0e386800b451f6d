// The line log: every chunk that goes over the serial line, each way, with
// its time and the line speed, and the events of a run (opening, speed
// changes, retries, time-outs, port errors), one a line, in the layout of
// the device simulator's transcript, so that the two can be read side by
// side:
//
//   5787 H>D 115200 55 55 00 01 ff 04
//   5819 D>H 115200 55 55 00 01 05 05 02 f8 04
//   2164975 note speed 9600
//
// Times are microseconds since the log was opened. The serial and keyer
// channels and the protocols call it from whichever thread talks on the
// line; while no log is open each call returns at once. Each line is
// written whole and flushed at once, so a log cut short by the end of the
// program still ends with a whole line.
#pragma once
#include <cstdint>

enum LineDirection { kLineToDevice, kLineFromDevice };

// Opens (replacing) the log file. Returns 1 when it opened.
int LineLogOpen(const char* path);
void LineLogClose();

// A chunk of count bytes sent or received at baud (nothing for count 0).
void LineLogBytes(LineDirection direction, uint32_t baud, const uint8_t* bytes, uint32_t count);

// An event, printf-style, after "note ", control characters (a line break
// in a file name) written as \xNN.
void LineLogNote(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
