// What a release reads from its folder, with the platform's part beside it
// (release_files_posix.cpp, _win32.cpp, _web.cpp).
#pragma once
#include <string>

// Whether the name is one a release may give an image: a plain name or a
// path down into the folder, never absolute, never with a ".." part.
bool ReleaseNameStaysInside(const std::string& name);

// Whether the file at folder/name, once links are followed, lies outside
// folder (a link out). A file that does not exist is not outside.
bool ReleaseFileLeavesFolder(const std::string& folder, const std::string& name);

// Whether path is a folder.
bool ReleaseIsFolder(const std::string& path);

// Reads the whole file into bytes. Returns 1, or 0 when it cannot be read.
int ReleaseReadFile(const std::string& path, std::string* bytes);
