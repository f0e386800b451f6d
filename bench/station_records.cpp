#include "bench/station_records.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include <nlohmann/json.hpp>

#include "bench/station_platform.h"

const char* const kRecordCsvHeader =
    "time,station,port,vendor_id,product_id,serial,target,probe,file,sha256,loaded,seconds,result,exit,message,"
    "verify_exit,verify_message,verify_seconds";

namespace {

FILE* records = nullptr;
int recordsCsv = 0;
std::string recordsPath;

using Json = nlohmann::ordered_json;

Json OrNull(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

double Tenths(double seconds) { return static_cast<long long>(seconds * 10 + 0.5) / 10.0; }

// A CSV cell: quoted when it holds a separator, a quote or a line end.
std::string Cell(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string out;
    for (const std::string& line : lines) out += (out.empty() ? "" : "; ") + line;
    return out;
}

std::string Why(const std::string& path, const char* what) {
    return path + ": " + what + ": " + std::strerror(errno);
}

}  // namespace

std::string RecordTimeNow() {
    std::time_t now = std::time(nullptr);
    char text[32] = "";
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
    return text;
}

std::string RecordJsonLine(const StationRecord& r) {
    Json adapter = nullptr;
    if (!r.vendorId.empty() || !r.serial.empty())
        adapter = {{"vendor_id", OrNull(r.vendorId)}, {"product_id", OrNull(r.productId)}, {"serial", OrNull(r.serial)}};
    Json record = {
        {"time", r.time},
        {"station", r.station},
        {"port", r.port},
        {"adapter", adapter},
        {"target", r.target},
        {"probe", r.probe},
        {"image", {{"file", r.file}, {"sha256", OrNull(r.sha256)}, {"loaded", r.loaded}}},
        {"seconds", Tenths(r.seconds)},
        {"result", {{"code", r.result}, {"exit", r.exit}, {"message", r.message}}},
    };
    if (r.verified)
        record["verify"] = {{"exit", r.verifyExit}, {"message", r.verifyMessage}, {"seconds", Tenths(r.verifySeconds)}};
    // A name that is not UTF-8 (a file's, a port's) is kept readable rather
    // than refused.
    return record.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::string RecordCsvLine(const StationRecord& r) {
    std::vector<std::string> cells = {r.time,    r.station, r.port,           r.vendorId, r.productId,
                                      r.serial,  r.target,  Joined(r.probe),  r.file,     r.sha256, r.loaded,
                                      Number(r.seconds), std::to_string(r.result), std::to_string(r.exit), r.message};
    if (r.verified) {
        cells.insert(cells.end(), {std::to_string(r.verifyExit), r.verifyMessage, Number(r.verifySeconds)});
    } else {
        cells.insert(cells.end(), {"", "", ""});
    }
    std::string line;
    for (size_t i = 0; i < cells.size(); ++i) line.append(i ? "," : "").append(Cell(cells[i]));
    return line;
}

int RecordsOpen(const std::string& path, int csv, std::string* warning, std::string* error) {
    recordsPath = path;
    recordsCsv = csv;
    // What the file ends with now: nothing, a whole line, or a torn one.
    long size = 0;
    std::string tail;
    int first = EOF;
    if (FILE* old = std::fopen(path.c_str(), "rb")) {
        first = std::fgetc(old);
        std::fseek(old, 0, SEEK_END);
        size = std::ftell(old);
        long from = size > 4096 ? size - 4096 : 0;
        std::fseek(old, from, SEEK_SET);
        tail.resize(static_cast<size_t>(size - from));
        tail.resize(std::fread(&tail[0], 1, tail.size(), old));
        std::fclose(old);
    }
    // A records file of the other kind would mix the two.
    if (first != EOF && first != '\n') {
        int jsonFile = first == '{';
        if (jsonFile == csv) {
            *error = path + ": it holds records as " + (jsonFile ? "JSON lines" : "CSV") + "; " +
                     (jsonFile ? "leave out --csv" : "give --csv") + ", or name another file";
            return 0;
        }
    }
    records = std::fopen(path.c_str(), "ab");
    if (records == nullptr) {
        *error = Why(path, "the records cannot be written");
        return 0;
    }
    std::string start;
    if (!tail.empty() && tail.back() != '\n') {
        size_t torn = tail.size() - (tail.rfind('\n') == std::string::npos ? 0 : tail.rfind('\n') + 1);
        *warning = path + ": its last line is torn (" + std::to_string(torn) +
                   " bytes without a line end, as when the power went while a record was written): it is skipped, "
                   "and the records go on on the next line";
        start = "\n";
    }
    if (csv && size == 0) start += std::string(kRecordCsvHeader) + "\n";
    if (!start.empty() && (std::fwrite(start.data(), 1, start.size(), records) != start.size() ||
                           !StationSyncToDisk(records))) {
        *error = Why(path, "the records cannot be written");
        RecordsClose();
        return 0;
    }
    return 1;
}

int RecordsAppend(const StationRecord& record, std::string* error) {
    std::string line = (recordsCsv ? RecordCsvLine(record) : RecordJsonLine(record)) + "\n";
    if (records == nullptr || std::fwrite(line.data(), 1, line.size(), records) != line.size() ||
        !StationSyncToDisk(records)) {
        *error = Why(recordsPath, "a record cannot be written");
        return 0;
    }
    return 1;
}

void RecordsClose() {
    if (records != nullptr) std::fclose(records);
    records = nullptr;
}
