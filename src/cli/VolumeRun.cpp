#include "cli/VolumeRun.h"

#include "cli/ImageOpen.h"

namespace tavrel::cli {

void addVolumeArguments(CLI::App* cmd, std::string& image, VolumeSelectArgs& args) {
    addImageArgument(cmd, image);
    addVolumeSelectOptions(cmd, args);
}

int VolumeRun::open(const std::string& image, const VolumeSelectArgs& args, bool scan) {
    const int rc = scan ? openVolume(image, args, work, volume) : prepareVolume(image, args, work, volume);
    if (rc != 0) progress.finish();
    return rc;
}

}  // namespace tavrel::cli
