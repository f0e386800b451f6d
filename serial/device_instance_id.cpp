#include "serial/device_instance_id.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The four hex digits after key ("VID_", "PID_") in part, or "".
std::string FourHex(const std::string& part, const char* key) {
    size_t at = part.find(key);
    if (at == std::string::npos) return "";
    std::string digits = part.substr(at + std::strlen(key), 4);
    if (digits.size() != 4) return "";
    for (char& c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return "";
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return digits;
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

int ParseDeviceInstanceId(const char* id, UsbIdentity* who) {
    who->vendorId[0] = who->productId[0] = who->serial[0] = '\0';
    std::string text = id ? id : "";
    size_t first = text.find('\\');
    if (first == std::string::npos) return 0;
    std::string bus = Upper(text.substr(0, first));
    size_t second = text.find('\\', first + 1);
    std::string hardware = Upper(text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1));
    std::string instance = second == std::string::npos ? "" : text.substr(second + 1);

    std::string vendor = FourHex(hardware, "VID_"), product = FourHex(hardware, "PID_");
    if (vendor.empty() || product.empty()) return 0;

    std::string serial;
    if (bus == "USB") {
        // The system makes up an instance with '&' in it for a device that
        // has no serial number; one interface of a composite device (&MI_)
        // has its parent's.
        if (hardware.find("&MI_") == std::string::npos && instance.find('&') == std::string::npos) serial = instance;
    } else if (bus == "FTDIBUS") {
        // VID_0403+PID_6001+A50285BIA: the serial number, then the port's letter.
        size_t plus = hardware.rfind('+');
        std::string tail = text.substr(first + 1 + plus + 1, hardware.size() - plus - 1);
        if (plus != std::string::npos && tail.find('&') == std::string::npos && tail.size() >= 2 &&
            std::isalpha(static_cast<unsigned char>(tail.back())))
            serial = tail.substr(0, tail.size() - 1);
    }
    std::snprintf(who->vendorId, sizeof who->vendorId, "%s", vendor.c_str());
    std::snprintf(who->productId, sizeof who->productId, "%s", product.c_str());
    if (serial.size() < sizeof who->serial) std::snprintf(who->serial, sizeof who->serial, "%s", serial.c_str());
    return 1;
}
