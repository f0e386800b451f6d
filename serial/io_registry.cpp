#include "serial/io_registry.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

const char kIoRegistryCommand[] = "/usr/sbin/ioreg -a -l -r -c IOUSBHostDevice 2>/dev/null";

namespace {

// One value of a property list: a dict, an array, or the text of a string,
// integer, real, date, data, true or false.
struct PlistValue {
    enum Kind { kText, kDict, kArray } kind = kText;
    std::string text;
    std::vector<std::string> keys;  // a dict's keys in order, its values in array
    std::vector<PlistValue> array;
};

// Deeper than any registry: each level of the tree is a dict in an array.
enum { kMaxDepth = 400 };

struct Cursor {
    const char* at;
    const char* end;
};

bool StartsWith(const Cursor& c, const char* text) {
    size_t n = std::strlen(text);
    return static_cast<size_t>(c.end - c.at) >= n && std::memcmp(c.at, text, n) == 0;
}

// Past the white space, the XML declaration, the DOCTYPE and comments.
void SkipMisc(Cursor* c) {
    for (;;) {
        while (c->at < c->end && std::strchr(" \t\r\n", *c->at)) ++c->at;
        const char* close = StartsWith(*c, "<?") ? "?>" : StartsWith(*c, "<!--") ? "-->" : StartsWith(*c, "<!") ? ">" : nullptr;
        if (close == nullptr) return;
        const char* found = std::search(c->at, c->end, close, close + std::strlen(close));
        c->at = found == c->end ? c->end : found + std::strlen(close);
    }
}

// The tag at the cursor: "<dict>" gives dict, "</dict>" /dict, "<dict/>"
// dict/. False when there is none.
bool ReadTag(Cursor* c, std::string* tag) {
    SkipMisc(c);
    if (c->at == c->end || *c->at != '<') return false;
    const char* close = std::find(c->at, c->end, '>');
    if (close == c->end) return false;
    std::string inside(c->at + 1, close);
    c->at = close + 1;
    bool empty = !inside.empty() && inside.back() == '/';
    *tag = inside.substr(0, inside.find_first_of(" \t\r\n/", inside[0] == '/' ? 1 : 0)) + (empty ? "/" : "");
    return !tag->empty();
}

void AppendUtf8(std::string* out, unsigned long code) {
    if (code < 0x80) {
        *out += static_cast<char>(code);
    } else if (code < 0x800) {
        *out += static_cast<char>(0xC0 | (code >> 6));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        *out += static_cast<char>(0xE0 | (code >> 12));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x110000) {
        *out += static_cast<char>(0xF0 | (code >> 18));
        *out += static_cast<char>(0x80 | ((code >> 12) & 0x3F));
        *out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
        *out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// The text up to the next tag, its entities (&amp; &#x41;) replaced.
std::string ReadText(Cursor* c) {
    std::string text;
    const char* stop = std::find(c->at, c->end, '<');
    while (c->at < stop) {
        const char* semicolon = *c->at == '&' ? std::find(c->at, stop, ';') : stop;
        if (semicolon == stop) {
            text += *c->at++;
            continue;
        }
        std::string name(c->at + 1, semicolon);
        c->at = semicolon + 1;
        static const char* const kNamed[][2] = {{"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"quot", "\""}, {"apos", "'"}};
        for (const auto& e : kNamed)
            if (name == e[0]) text += e[1];
        if (name.size() > 1 && name[0] == '#')
            AppendUtf8(&text, name[1] == 'x' ? std::strtoul(name.c_str() + 2, nullptr, 16)
                                             : std::strtoul(name.c_str() + 1, nullptr, 10));
    }
    return text;
}

bool ReadValue(Cursor* c, PlistValue* v, int depth);

// The values of a dict or an array up to its end tag.
bool ReadItems(Cursor* c, PlistValue* v, int depth) {
    const char* end = v->kind == PlistValue::kDict ? "</dict>" : "</array>";
    for (;;) {
        SkipMisc(c);
        if (StartsWith(*c, end)) {
            c->at += std::strlen(end);
            return true;
        }
        if (v->kind == PlistValue::kArray) {
            v->array.emplace_back();
            if (!ReadValue(c, &v->array.back(), depth + 1)) return false;
            continue;
        }
        std::string tag;
        if (!ReadTag(c, &tag) || tag != "key") return false;
        std::string key = ReadText(c);
        if (!ReadTag(c, &tag) || tag != "/key") return false;
        v->keys.push_back(key);
        v->array.emplace_back();
        if (!ReadValue(c, &v->array.back(), depth + 1)) return false;
    }
}

bool ReadValue(Cursor* c, PlistValue* v, int depth) {
    std::string tag;
    if (depth > kMaxDepth || !ReadTag(c, &tag)) return false;
    if (tag == "plist") {
        std::string end;
        return ReadValue(c, v, depth + 1) && ReadTag(c, &end) && end == "/plist";
    }
    if (tag == "dict" || tag == "array") {
        v->kind = tag == "dict" ? PlistValue::kDict : PlistValue::kArray;
        return ReadItems(c, v, depth);
    }
    if (tag == "dict/" || tag == "array/") {
        v->kind = tag == "dict/" ? PlistValue::kDict : PlistValue::kArray;
        return true;
    }
    if (tag.back() == '/') return true;  // <true/>, <false/>, <string/>
    v->text = ReadText(c);
    std::string end;
    return ReadTag(c, &end) && end == "/" + tag;
}

const PlistValue* Find(const PlistValue& dict, const char* key) {
    if (dict.kind != PlistValue::kDict) return nullptr;
    for (size_t i = 0; i < dict.keys.size(); ++i)
        if (dict.keys[i] == key) return &dict.array[i];
    return nullptr;
}

// A property's text: the first of the keys the node has, as the registry
// names it in each system's release ("USB Serial Number",
// "kUSBSerialNumberString").
std::string Text(const PlistValue& node, const char* key, const char* alias = nullptr) {
    const PlistValue* v = Find(node, key);
    if (v == nullptr && alias != nullptr) v = Find(node, alias);
    return v != nullptr && v->kind == PlistValue::kText ? v->text : "";
}

// A 16-bit USB id in the four hex digits the other systems show, or "".
std::string UsbId(const PlistValue& node, const char* key) {
    std::string text = Text(node, key);
    bool inHex = text.compare(0, 2, "0x") == 0;
    char* rest = nullptr;
    long value = std::strtol(text.c_str() + (inHex ? 2 : 0), &rest, inHex ? 16 : 10);
    if (text.empty() || *rest != '\0' || value < 0 || value > 0xFFFF) return "";
    char hex[8];
    std::snprintf(hex, sizeof hex, "%04lx", value);
    return hex;
}

// The USB device a port belongs to, among the nodes above it, nearest
// last: the nearest with the device's own descriptor (an interface or a
// driver above the port has idVendor too, and a hub further up has a serial
// number of its own); else the nearest with a vendor id at all.
const PlistValue* DeviceAbove(const std::vector<const PlistValue*>& above) {
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        if (Find(**it, "idVendor") && Find(**it, "bDeviceClass")) return *it;
    for (auto it = above.rbegin(); it != above.rend(); ++it)
        if (Find(**it, "idVendor")) return *it;
    return nullptr;
}

void Describe(const PlistValue& device, SerialPortEntry* e) {
    std::snprintf(e->vendorId, sizeof e->vendorId, "%s", UsbId(device, "idVendor").c_str());
    std::snprintf(e->productId, sizeof e->productId, "%s", UsbId(device, "idProduct").c_str());
    std::snprintf(e->serial, sizeof e->serial, "%s", Text(device, "USB Serial Number", "kUSBSerialNumberString").c_str());
    std::string maker = Text(device, "USB Vendor Name", "kUSBVendorString");
    std::string product = Text(device, "USB Product Name", "kUSBProductString");
    std::string about = maker + (maker.empty() || product.empty() ? "" : " ") + product;
    if (e->vendorId[0] && e->productId[0])
        about += (about.empty() ? "" : ", ") + std::string("USB ") + e->vendorId + ":" + e->productId;
    if (e->serial[0]) about += std::string(", serial ") + e->serial;
    std::snprintf(e->about, sizeof e->about, "%s", about.c_str());
}

// Each port in the tree below node, with the nodes above it.
void Walk(const PlistValue& node, std::vector<const PlistValue*>* above, SerialPortEntry* entries, int n,
          std::vector<bool>* filled) {
    if (node.kind == PlistValue::kArray) {
        for (const PlistValue& item : node.array) Walk(item, above, entries, n, filled);
        return;
    }
    if (node.kind != PlistValue::kDict) return;
    std::string callout = Text(node, "IOCalloutDevice");
    const PlistValue* device = callout.empty() ? nullptr : DeviceAbove(*above);
    for (int i = 0; i < n && device; ++i)
        if (!(*filled)[i] && callout == entries[i].name) {
            Describe(*device, &entries[i]);
            (*filled)[i] = true;
        }
    const PlistValue* children = Find(node, "IORegistryEntryChildren");
    if (children == nullptr) return;
    above->push_back(&node);
    Walk(*children, above, entries, n, filled);
    above->pop_back();
}

}  // namespace

int AboutFromIoRegistry(const std::string& xml, SerialPortEntry* entries, int n) {
    Cursor c{xml.data(), xml.data() + xml.size()};
    PlistValue root;
    if (!ReadValue(&c, &root, 0)) return 0;
    std::vector<const PlistValue*> above;
    std::vector<bool> filled(static_cast<size_t>(n > 0 ? n : 0));
    Walk(root, &above, entries, n, &filled);
    int count = 0;
    for (bool f : filled) count += f;
    return count;
}
