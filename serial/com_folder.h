// The folder of COM ports on POSIX (com_folder_posix.cpp): where COM<n> is
// found (SerialDeviceDir, serial_port.h), and whether what is found there is
// the user's own. A COM port is a name the program resolves for the user, so
// whoever may put a link in that folder decides which device an update talks
// to: a folder, or a com<n> entry in it, that another user owns or may
// change is refused before anything is opened.
#pragma once
#include <cstddef>

// 1 when name (a file name, no folder) is com<n>: "com" and one or more
// digits, the entries the folder of COM ports holds.
int IsComEntryName(const char* name);

// 1 when device may be opened: it is not a com<n> entry of the folder of COM
// ports, or it is one and the folder, every folder above it and the entry
// itself are the user's own (owned by the user or by root, and not writable
// by group or others unless the folder is sticky). 0 when it is refused,
// with the reason in why.
int ComFolderTrusted(const char* device, char* why, size_t size);

// Makes the folder of COM ports, for the user alone (0700), when it is not
// there yet. Returns 1 when it is there, 0 with the system's reason in why.
int ComFolderMake(char* why, size_t size);
