#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif
#if defined(__APPLE__)
#include <chrono>
#include <mutex>

#include "serial/io_registry.h"
#endif

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "serial/com_folder.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace {

// Names in dir that start with prefix, in natural order (ttyUSB2 before
// ttyUSB10).
std::vector<std::string> Names(const char* dir, const char* prefix) {
    std::vector<std::string> names;
    DIR* d = opendir(dir);
    if (d == nullptr) return names;
    size_t n = std::strlen(prefix);
    while (dirent* e = readdir(d))
        if (std::strncmp(e->d_name, prefix, n) == 0 && e->d_name[n] != '\0') names.push_back(e->d_name);
    closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

#if defined(__linux__)
// The first line of a sysfs file, without its end.
std::string ReadLine(const std::string& path) {
    char text[256] = "";
    FILE* f = std::fopen(path.c_str(), "r");
    if (f == nullptr) return "";
    if (std::fgets(text, sizeof text, f) == nullptr) text[0] = '\0';
    std::fclose(f);
    std::string line = text;
    while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
    return line;
}
#endif

std::string CanonicalPath(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

void Add(std::vector<SerialPortEntry>* list, const std::string& name, const std::string& about) {
    SerialPortEntry e;
    std::snprintf(e.name, sizeof e.name, "%s", name.c_str());
    std::snprintf(e.about, sizeof e.about, "%s", about.c_str());
    list->push_back(e);
}

// A character device that can be opened as a serial port exists behind path.
bool IsCharDevice(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

#if defined(__linux__)

// The folder that stands for / in the Linux listing: the environment's
// RIDOREZ_LIST_ROOT, which the tests point at a tree of their own (a
// machine without USB adapters has nothing to list), else "".
std::string Root() {
    const char* root = std::getenv("RIDOREZ_LIST_ROOT");
    return root ? root : "";
}

// What sysfs tells of a tty: its driver, and for a USB adapter its ids,
// maker, product and serial number.
void AboutTty(const std::string& tty, SerialPortEntry* e) {
    std::string device = CanonicalPath(Root() + "/sys/class/tty/" + tty + "/device");
    if (device.empty()) return;
    std::string about;
    std::string driver = CanonicalPath(device + "/driver");
    if (!driver.empty()) about = driver.substr(driver.rfind('/') + 1);
    // The USB device is a folder or two above the interface.
    std::string dir = device;
    for (int up = 0; up < 3 && dir.size() > 1; ++up) {
        std::string vendor = ReadLine(dir + "/idVendor");
        if (!vendor.empty()) {
            std::snprintf(e->vendorId, sizeof e->vendorId, "%s", vendor.c_str());
            std::snprintf(e->productId, sizeof e->productId, "%s", ReadLine(dir + "/idProduct").c_str());
            std::snprintf(e->serial, sizeof e->serial, "%s", ReadLine(dir + "/serial").c_str());
            std::string maker = ReadLine(dir + "/manufacturer");
            std::string product = ReadLine(dir + "/product");
            std::string name = maker + (maker.empty() || product.empty() ? "" : " ") + product;
            if (!name.empty()) about += (about.empty() ? "" : ", ") + name;
            about += (about.empty() ? "" : ", ") + std::string("USB ") + e->vendorId + ":" + e->productId;
            if (e->serial[0]) about += std::string(", serial ") + e->serial;
            break;
        }
        dir = dir.substr(0, dir.rfind('/'));
    }
    std::snprintf(e->about, sizeof e->about, "%s", about.c_str());
}

const char* UartName(int type) {
    switch (type) {
        case 1: return "8250";
        case 2: return "16450";
        case 3: return "16550";
        case 4: return "16550A";
        case 6: return "16650";
        case 7: return "16650V2";
        case 8: return "16750";
        case 10: return "16C950";
        case 11: return "16654";
        case 12: return "16850";
        default: return nullptr;
    }
}

// The UART type of a ttyS port, 0 when there is none behind it (the kernel
// makes ttyS nodes for ports that may not exist): from sysfs, or from the
// port itself.
int UartType(const std::string& tty) {
    std::string type = ReadLine(Root() + "/sys/class/tty/" + tty + "/type");
    if (!type.empty()) return std::atoi(type.c_str());
    int fd = open((Root() + "/dev/" + tty).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return 0;
    serial_struct info;
    int result = ioctl(fd, TIOCGSERIAL, &info) == 0 ? info.type : 0;
    close(fd);
    return result;
}

// The device a path leads to, 0 when it is no character device.
dev_t CharDeviceOf(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode) ? st.st_rdev : 0;
}

void ListLinux(std::vector<SerialPortEntry>* list) {
    std::string root = Root();
    std::string byId = root + "/dev/serial/by-id";
    std::vector<std::pair<std::string, dev_t>> links;
    for (const std::string& name : Names(byId.c_str(), ""))
        if (name[0] != '.') links.push_back({byId + "/" + name, CharDeviceOf(byId + "/" + name)});
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (const std::string& tty : Names((root + "/dev").c_str(), prefix)) {
            std::string path = root + "/dev/" + tty;
            dev_t device = CharDeviceOf(path);
            if (device == 0) continue;
            Add(list, path, "");
            AboutTty(tty, &list->back());
            for (auto& link : links)
                if (link.second == device) {
                    std::snprintf(list->back().byId, sizeof list->back().byId, "%s", link.first.c_str());
                    link.second = 0;
                    break;
                }
        }
    // Links to devices of another kind.
    for (const auto& link : links)
        if (link.second != 0) Add(list, link.first, CanonicalPath(link.first));
    for (const std::string& tty : Names((root + "/dev").c_str(), "ttyS")) {
        std::string path = root + "/dev/" + tty;
        int type = IsCharDevice(path) ? UartType(tty) : 0;
        if (type == 0) continue;
        const char* uart = UartName(type);
        std::string about = uart ? uart : "UART type " + std::to_string(type);
        std::string port = ReadLine(root + "/sys/class/tty/" + tty + "/port");
        if (!port.empty() && port != "0x0") about += " at " + port;
        Add(list, path, about);
    }
}

#endif

#if defined(__APPLE__)
// The I/O registry's USB devices as ioreg writes them, "" when it cannot be
// run or fails.
std::string ReadIoRegistry() {
    std::string xml;
    FILE* p = popen(kIoRegistryCommand, "r");
    if (p == nullptr) return xml;
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, p)) > 0) xml.append(chunk, got);
    return pclose(p) == 0 ? xml : std::string();
}

// The USB ids, serial number and names of the ports listed, from the
// registry. ioreg takes a moment, and a station looks for its ports every
// quarter second while it waits for a board: one reading serves again while
// the same device nodes are there (a port that comes back is a new node) and
// for 2 s at most.
void AboutMacPorts(std::vector<SerialPortEntry>* list) {
    if (list->empty()) return;
    static std::mutex lock;
    static std::string readFor, xml;
    static std::chrono::steady_clock::time_point readAt;
    std::string nodes;
    for (const SerialPortEntry& e : *list) {
        struct stat st;
        if (stat(e.name, &st) == 0)
            nodes += std::string(e.name) + " " + std::to_string(st.st_ino) + " " + std::to_string(st.st_rdev) + "\n";
    }
    std::lock_guard<std::mutex> hold(lock);
    auto now = std::chrono::steady_clock::now();
    if (nodes != readFor || now - readAt > std::chrono::seconds(2)) {
        xml = ReadIoRegistry();
        readFor = nodes;
        readAt = now;
    }
    AboutFromIoRegistry(xml, list->data(), static_cast<int>(list->size()));
}

// The call-out devices (cu.*), which open without waiting for a carrier; the
// tty.* twin of each is left out. Bluetooth ports (cu.Bluetooth-Incoming-Port
// and those of paired devices) are never the keyer's.
void ListMac(std::vector<SerialPortEntry>* list) {
    for (const std::string& name : Names("/dev", "cu.")) {
        std::string lower = name;
        for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (lower.find("bluetooth") != std::string::npos) continue;
        if (IsCharDevice("/dev/" + name)) Add(list, "/dev/" + name, "");
    }
    AboutMacPorts(list);
}
#endif

#if defined(__FreeBSD__)
// The call-out devices of USB adapters (ucom(4): cuaU*) and of UARTs
// (uart(4): cuau*), without the .init and .lock nodes that hold each one's
// initial and locked settings.
void ListFreeBsd(std::vector<SerialPortEntry>* list) {
    for (const char* prefix : {"cuaU", "cuau"})
        for (const std::string& name : Names("/dev", prefix))
            if (name.find('.') == std::string::npos && IsCharDevice("/dev/" + name))
                Add(list, "/dev/" + name, prefix[3] == 'U' ? "USB serial" : "UART");
}
#endif

// The COMn links of the folder of COM ports, whose device is there.
void ListComFolder(std::vector<SerialPortEntry>* list) {
    std::string dir = SerialDeviceDir();
    for (const std::string& name : Names(dir.c_str(), "com")) {
        if (!IsComEntryName(name.c_str())) continue;
        const char* digits = name.c_str() + 3;
        std::string path = dir + "/" + name;
        std::string device = CanonicalPath(path);
        if (device.empty() || !IsCharDevice(device)) continue;
        char why[320];
        std::string about = path + " -> " + device;
        if (!ComFolderTrusted(path.c_str(), why, sizeof why)) about += " (refused: " + std::string(why) + ")";
        Add(list, "COM" + std::string(digits), about);
    }
}

}  // namespace

int ListSerialPorts(SerialPortEntry* entries, int max) {
    std::vector<SerialPortEntry> list;
#if defined(__linux__)
    ListLinux(&list);
#endif
#if defined(__APPLE__)
    ListMac(&list);
#endif
#if defined(__FreeBSD__)
    ListFreeBsd(&list);
#endif
    ListComFolder(&list);
    int n = 0;
    for (const SerialPortEntry& e : list) {
        if (n == max) break;
        entries[n++] = e;
    }
    return n;
}

int SerialPortPresent(const char* device) {
    struct stat info;
    return stat(device, &info) == 0;
}
