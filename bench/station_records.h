// A station's records: one a board, appended to a file that is never
// truncated, each flushed to the disk before the next board starts. One
// JSON object a line, or with --csv a CSV row under a header line. The
// fields are described in docs/station.md.
#pragma once
#include <string>
#include <vector>

struct StationRecord {
    std::string time;      // UTC, 2024-05-01T09:12:33Z
    std::string station;
    std::string port;
    // The adapter, where the system tells (empty otherwise).
    std::string vendorId, productId, serial;
    std::string target;
    std::vector<std::string> probe;  // what the probe found: its lines
    std::string file;                // the image as named
    std::string sha256;              // the image file's SHA-256 ("" when it could not be read again)
    std::string loaded;              // what the load said of it (its size; a ZQ3 image's version and variant)
    double seconds = 0;              // the update's, from its probe to its end
    int result = 0;                  // the run's status code (0: no run ended)
    int exit = 0;                    // the exit code an `update` alone would have ended with
    std::string message;
    // The read-back after a good update, for a target that has one.
    bool verified = false;
    int verifyExit = 0;
    std::string verifyMessage;
    double verifySeconds = 0;
};

// Opens path for appending (made when missing). A last line without its
// line end (the power went in the middle of a record) is left as it is,
// said in *warning, and the records go on on a fresh line. A new or empty
// CSV file gets its header line. Returns 1, else 0 with why in *error.
int RecordsOpen(const std::string& path, int csv, std::string* warning, std::string* error);

// Appends record and puts it on the disk. Returns 1, else 0 with why.
int RecordsAppend(const StationRecord& record, std::string* error);

void RecordsClose();

// The record as its line (without the line end).
std::string RecordJsonLine(const StationRecord& record);
std::string RecordCsvLine(const StationRecord& record);
extern const char* const kRecordCsvHeader;

// The time now, as a record gives it.
std::string RecordTimeNow();
