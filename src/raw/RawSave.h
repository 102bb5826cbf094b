// Writing found files of a carve into the chosen output folder: one sub-folder
// per category, each file named as the carve names it and holding exactly the
// volume bytes of its found range. Everything goes through the host-output
// helpers, so nothing lands outside the folder and nothing is overwritten.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "browse/SaveReport.h"
#include "image/VolumeView.h"
#include "raw/myJpg.h"
#include "util/WorkControl.h"

namespace tavrel::raw {

// Saves the found files of `engine` at the given indexes of its found list
// (indexes outside the list are ignored); the report counts the partial ones
// written. onFile, when set, hears each file as it
// is done (its outcome's imagePath is "<category>/<name>").
browse::SaveReport saveFoundFiles(const VolumeView& volume, const myJpg& engine,
                                  const std::vector<std::size_t>& indexes, const std::string& outputFolder,
                                  WorkControl& work, fs::Warnings* warnings = nullptr,
                                  const std::function<void(const browse::FileOutcome&)>& onFile = {});

}  // namespace tavrel::raw
