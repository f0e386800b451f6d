// The image a bench loaded once, handed to each worker process on its
// standard input: the image store and the fields the load set, as the load
// left them, so that the worker runs on what was checked.
#pragma once
#include <string>

#include "uploader/target_table.h"

// After LoadForUpdate or LoadForVerify of target; empty for a probe.
std::string PackLoadedImage(const std::string& target);

// Puts packed into row's store, attached beforehand, and AppState. Returns
// 1, or 0 when packed is not an image for row's target.
int UnpackLoadedImage(const TargetRow& row, const std::string& packed);
